#pragma once
// The Disk Select dialog of Player mode: the disks of this machine that can be read, one line each;
// OK gives the device path of the chosen one.
#include <QDialog>

#include <string>
#include <vector>

#include "media/recorder_disk.h"

class QLabel;
class QListWidget;

namespace tamlorex::app {

// Control id of the list, also its object name.
inline constexpr int kDiskList = 1704;
// Object name of the help line shown instead of an empty list.
inline constexpr char kDiskHelpName[] = "diskHelp";
inline constexpr char kNoDiskHelp[] =
    "No readable disk was found. Reading disks usually needs membership of the \"disk\" group: "
    "run \"sudo usermod -aG disk $USER\", then log out and log in again.";

class DiskSelectDialog : public QDialog {
    Q_OBJECT
public:
    // Lists the disks at once (ListDrives over sysBlock and devDir).
    explicit DiskSelectDialog(QWidget* parent = nullptr, const std::string& sysBlock = "/sys/block",
                              const std::string& devDir = "/dev");

    // The device path of the selected line (the first when none was selected); empty when no disk
    // was listed.
    std::string DevicePath() const;
    int SelectedLine() const { return selected_; }
    const std::vector<DriveEntry>& Drives() const { return drives_; }

private slots:
    void OnSelectionChanged(int row);

private:
    std::vector<DriveEntry> drives_;
    int selected_ = 0;
    QListWidget* list_;
};

}  // namespace tamlorex::app
