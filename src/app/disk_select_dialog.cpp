#include "app/disk_select_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_parts.h"

namespace tamlorex::app {

DiskSelectDialog::DiskSelectDialog(QWidget* parent, const std::string& sysBlock, const std::string& devDir)
    : QDialog(parent), drives_(ListDrives(sysBlock, devDir))
{
    setWindowTitle(QStringLiteral("Disk Select"));

    list_ = new QListWidget(this);
    list_->setObjectName(QString::number(kDiskList));
    // The lines are laid out in columns by blanks.
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (const DriveEntry& drive : drives_) list_->addItem(QString::fromStdString(drive.line));
    list_->setMinimumSize(340, 160);

    auto* help = new QLabel(QString::fromLatin1(kNoDiskHelp), this);
    help->setObjectName(QString::fromLatin1(kDiskHelpName));
    help->setWordWrap(true);
    help->setTextInteractionFlags(Qt::TextSelectableByMouse);
    help->setVisible(drives_.empty());

    QDialogButtonBox* buttons = OkCancelButtons(*this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(help);
    layout->addWidget(buttons);

    connect(list_, &QListWidget::currentRowChanged, this, &DiskSelectDialog::OnSelectionChanged);
    connect(list_, &QListWidget::itemActivated, this, &DiskSelectDialog::accept);
    if (!drives_.empty()) list_->setCurrentRow(0);
}

void DiskSelectDialog::OnSelectionChanged(int row)
{
    if (row >= 0 && static_cast<std::size_t>(row) < drives_.size()) selected_ = row;
}

std::string DiskSelectDialog::DevicePath() const
{
    if (drives_.empty()) return {};
    const std::size_t line = static_cast<std::size_t>(selected_) < drives_.size() ? selected_ : 0;
    return drives_[line].devicePath;
}

}  // namespace tamlorex::app
