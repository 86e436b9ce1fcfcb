#pragma once
// The Export To AVI dialog: a recording, an output name, the channels, the sound and a compressor;
// OK writes one AVI file per channel (MP4 when the output name ends in ".mp4"), or one file with
// the channels side by side ("Mosaic"), of the whole recording or only between the window's marks,
// at the recording's pace or faster ("Speed"). "From" and "To", local clock times, narrow the export
// further to the pages from the first at or after From to the last at or before To. The counting pass runs on a thread of its own and the export
// on the job's worker, so the dialog stays responsive throughout; a 200 ms timer shows the
// progress and the latest exported picture. Closing the dialog stops the export; the files keep
// what was written.
#include <QDialog>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/avi_export_job.h"

class QCheckBox;
class QImage;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace tamlorex::app {

class UserPrompts;

// Control ids, also the object names of the widgets.
inline constexpr int kExportChannelBox1 = 1721;  // 1721..1728: channels 1..8
inline constexpr int kExportChannelBox9 = 1729;  // then 1734..1740: channels 10..16, hidden
inline constexpr int kExportAudioBox = 1730;
inline constexpr int kExportInputEdit = 1668;
inline constexpr int kExportInputBrowse = 1669;
inline constexpr int kExportOutputEdit = 1664;
inline constexpr int kExportOutputBrowse = 1731;
inline constexpr int kExportCompressionEdit = 1665;
inline constexpr int kExportSelect = 1733;
inline constexpr int kExportProgress = 1651;
inline constexpr int kExportPercent = 1732;
inline constexpr int kExportPicture = 1696;
inline constexpr int kExportMarksBox = 1741;
inline constexpr int kExportMosaicBox = 1742;
inline constexpr int kExportSpeed = 1743;
inline constexpr int kExportFromEdit = 1744;
inline constexpr int kExportToEdit = 1745;
inline constexpr int kExportOk = 1;
inline constexpr int kExportCancel = 2;

// The id of the check box of channel 1..16.
int ExportChannelBoxId(int channel);
// The output name the input suggests: every "VVF", then every "vvf", of its file name becomes "AVI".
std::string SuggestedOutputName(const std::string& input);

inline constexpr char kExportTitle[] = "Export To AVI";
inline constexpr char kExportComplete[] = "Export Complete";
inline constexpr char kExportInputFilter[] = "All Files (*.*)|*.*|VVF File Format (*.VVF)|*.VVF|";
inline constexpr char kExportOutputFilter[] = "AVI File Format (*.AVI)|*.AVI|";
inline constexpr char kExportDefaultOutput[] = "CAPTURE.AVI";
inline constexpr char kExportCounting[] = "Counting...";
inline constexpr char kExportMarksText[] = "Only between the marks";
inline constexpr char kExportMosaicText[] = "Mosaic";
inline constexpr char kExportTimeHint[] = "YYYY-MM-DD HH:MM:SS";
inline constexpr int kExportTimerMs = 200;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // `sourcePath` is the recording the main window has open (may be empty); `sourceIsDrive`: it
    // is a recorder's disk or disk image, read with the drive flag while the input names it.
    ExportDialog(QWidget* owner, UserPrompts& prompts, const std::string& sourcePath, bool sourceIsDrive);
    // Stops an export in progress and finishes its files.
    ~ExportDialog() override;

    // The window's marks In and Out, byte offsets of the recording it has open: with out > in the
    // "Only between the marks" box is offered (and checked), and while it is checked and the input
    // is still that recording only the records starting in [in, out) are exported. Before OK.
    void SetMarks(std::uint64_t in, std::uint64_t out);

    // True from OK until the export ends or is stopped.
    bool Busy() const { return counting_ || exporting_; }

public slots:
    // Cancel and the close button: stop the export (its files stay playable) and close.
    void reject() override;

private slots:
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnSelect();
    void OnStart();
    void OnTimer();
    void UpdateOk();

private:
    // Takes the worker's pictures; the timer shows the latest one.
    class Preview : public ExportPreview {
    public:
        void ShowExportPicture(int channel, const std::uint8_t* picture, int width, int height) override;
        // The latest picture as a top-down image, when a new one came since the last call.
        bool Take(QImage& image);

    private:
        std::mutex mutex_;
        std::vector<std::uint8_t> pixels_;
        int width_ = 0;
        int height_ = 0;
        bool fresh_ = false;
    };

    void SetControlsEnabled(bool enabled);
    void FinishCounting();
    void FinishExport();
    // After the counting pass: the files it made hold no picture yet; they are removed.
    void DropCountedFiles();
    void ShowPreview();
    void Fail(const std::string& text);

    UserPrompts& prompts_;
    Preview preview_;
    AviExportJob job_;  // after preview_: stopped before the preview goes

    std::vector<QCheckBox*> channelBoxes_;  // channels 1..16
    QCheckBox* audioBox_;
    QCheckBox* marksBox_;
    QCheckBox* mosaicBox_;
    QSpinBox* speed_;
    QLineEdit* fromEdit_;
    QLineEdit* toEdit_;
    QLineEdit* inputEdit_;
    QPushButton* inputBrowse_;
    QLineEdit* outputEdit_;
    QPushButton* outputBrowse_;
    QLineEdit* compressionEdit_;
    QPushButton* select_;
    QProgressBar* progress_;
    QLabel* percent_;
    QLabel* picture_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QTimer* timer_;

    bool chosen_ = false;  // a compressor was chosen (or the choice confirmed)
    bool counting_ = false;
    bool exporting_ = false;
    bool closeAfterCounting_ = false;
    std::string input_;
    std::string output_;
    std::string drivePath_;  // the window's disk, when it had one open
    std::string sourcePath_;  // the window's recording, which the marks belong to
    std::uint64_t markIn_ = 0;
    std::uint64_t markOut_ = 0;
    std::thread counter_;
    std::atomic<bool> counted_{false};
    // Results of the counting pass, read after it is joined.
    bool inputOpened_ = false;
    bool firstPassOk_ = false;
};

}  // namespace tamlorex::app
