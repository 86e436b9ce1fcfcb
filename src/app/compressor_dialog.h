#pragma once
// The video compressor choice: the compressors an AVI file can hold, by description, with the
// quality, and on request the key-frame distance and the data rate, each enabled only when the
// chosen compressor makes use of it.
#include <QDialog>

#include <string>
#include <vector>

#include "export/compress_options.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace tamlorex::app {

class UserPrompts;

// Object names of the dialog's controls.
inline constexpr char kCompressorList[] = "compressor";
inline constexpr char kCompressorQuality[] = "quality";
inline constexpr char kCompressorKeyFrameBox[] = "keyFrameBox";
inline constexpr char kCompressorKeyFrames[] = "keyFrames";
inline constexpr char kCompressorDataRateBox[] = "dataRateBox";
inline constexpr char kCompressorDataRate[] = "dataRate";

// The quality field counts 0..100 (-1 shows "Default"), the data rate KB (1024 bytes) per second.
inline constexpr int kQualityStep = kMaxQuality / 100;
inline constexpr int kMaxDataRateKb = 4000000;  // keeps the bytes per second within 32 bits
inline constexpr int kMaxKeyFrameEvery = 10000;

class CompressorDialog : public QDialog {
    Q_OBJECT
public:
    // Preselects the compressor `options` names ("DIB " when it names none of `list`) and its
    // values. Without `keyFrameAndDataRate` the key-frame and data-rate fields are hidden and
    // their values stay as `options` holds them.
    CompressorDialog(QWidget* owner, const std::vector<Compressor>& list, const CompressOptions& options,
                     bool keyFrameAndDataRate);

    // The handler chosen and the values of the fields it uses; the other values as given.
    CompressOptions Options() const;
    const Compressor* Selected() const;

private slots:
    void OnCompressorChanged();

private:
    std::vector<Compressor> list_;
    CompressOptions given_;
    bool keyFrameAndDataRate_;
    QComboBox* compressor_;
    QSpinBox* quality_;
    QCheckBox* keyFrameBox_;
    QSpinBox* keyFrames_;
    QCheckBox* dataRateBox_;
    QSpinBox* dataRate_;
};

// Runs the choice through `prompts`. True with `options` filled on OK; false on Cancel, with
// `options` unchanged.
bool RunCompressorChoice(QWidget* owner, UserPrompts& prompts, CompressOptions& options, bool keyFrameAndDataRate);

}  // namespace tamlorex::app
