// The Disk Select dialog over a /sys/block and a /dev of our own, image files standing in for disks.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/disk_select_dialog.h"

using namespace tamlorex::app;

namespace {

// A disk in the fake tree; one that is not present in /dev cannot be opened and is not listed.
void Disk(const QTemporaryDir& dir, const QString& name, qint64 size, bool present)
{
    QDir(dir.path()).mkpath("sys/" + name);
    QFile removable(dir.path() + "/sys/" + name + "/removable");
    if (!removable.open(QIODevice::WriteOnly)) qFatal("cannot write the fake tree");
    removable.write("0\n");
    if (!present) return;
    QFile image(dir.path() + "/dev/" + name);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(size)) qFatal("cannot write the fake tree");
}

}  // namespace

class DiskSelectDialogTest : public QObject {
    Q_OBJECT
private slots:
    void listsReadableDisksAndGivesTheChosenPath();
    void emptyListExplainsWhy();
};

void DiskSelectDialogTest::listsReadableDisksAndGivesTheChosenPath()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("dev");
    Disk(dir, "sda", 1 << 20, true);
    Disk(dir, "sdb", 1 << 20, false);
    Disk(dir, "sdc", 2 << 20, true);
    const std::string sys = dir.path().toStdString() + "/sys", dev = dir.path().toStdString() + "/dev";

    DiskSelectDialog dialog(nullptr, sys, dev);
    auto* list = dialog.findChild<QListWidget*>(QString::number(kDiskList));
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("DISK0  Fixed               1 MB"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("DISK2  Fixed               2 MB"));
    QVERIFY(dialog.findChild<QLabel*>(kDiskHelpName)->isHidden());
    QCOMPARE(dialog.DevicePath(), dev + "/sda");

    list->setCurrentRow(1);
    QCOMPARE(dialog.DevicePath(), dev + "/sdc");
    list->setCurrentRow(-1);  // no line: the stored one stays
    QCOMPARE(dialog.DevicePath(), dev + "/sdc");
}

void DiskSelectDialogTest::emptyListExplainsWhy()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("dev");
    Disk(dir, "sda", 1 << 20, false);
    DiskSelectDialog dialog(nullptr, dir.path().toStdString() + "/sys", dir.path().toStdString() + "/dev");
    QCOMPARE(dialog.findChild<QListWidget*>(QString::number(kDiskList))->count(), 0);
    QVERIFY(dialog.DevicePath().empty());
    auto* help = dialog.findChild<QLabel*>(kDiskHelpName);
    QVERIFY(!help->isHidden());
    QVERIFY(help->text().contains(QStringLiteral("\"disk\" group")));
    QVERIFY(help->text().contains(QStringLiteral("usermod -aG disk")));
}

QTEST_MAIN(DiskSelectDialogTest)
#include "disk_select_dialog_test.moc"
