// The folder chooser: which paths it takes, the question before making a folder, and the edit box
// following the tree.
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <fstream>
#include <vector>

#include "app/fake_prompts.h"
#include "app/folder_chooser.h"
#include "app/user_prompts.h"

using namespace tamlorex::app;

namespace {

using Prompts = test::FakePrompts;

QLineEdit* Edit(FolderChooser& chooser) { return chooser.findChild<QLineEdit*>(QString::number(kFolderEdit)); }
QPushButton* Ok(FolderChooser& chooser) { return chooser.findChild<QPushButton*>(QStringLiteral("1")); }

bool Accepted(FolderChooser& chooser, const std::string& typed)
{
    Edit(chooser)->setText(QString::fromStdString(typed));
    chooser.accept();
    return chooser.result() == QDialog::Accepted;
}

std::string Text(const char* pattern, const std::string& path) { return FolderMessage(pattern, path); }

}  // namespace

class FolderChooserTest : public QObject {
    Q_OBJECT
private slots:
    void pathForms();
    void missingLevelsAreMadeAfterOneQuestion();
    void invalidPathsAreRefusedAndNothingIsMade();
    void levelThatCannotBeMade();
    void editBoxFollowsTheTree();
};

void FolderChooserTest::pathForms()
{
    const std::vector<std::string> valid = {"/", "/data", "/data/sub", "/data/sub/", "/a b/c.d", "/x~y/_-+=,;[]"};
    const std::vector<std::string> invalid = {
        "",       "data",     "~/Capture", "./data", "//",     "/data//sub", "/data/sub//", "/da|ta", "/da*ta",
        "/a:b",   "/a\\b",    "/a?",       "/a<b",   "/a>b",   "/a\"b",      "/ data",      "/data ", "/.data",
        "/data.", "/\tdata",  "/data\t",   "/..",    "/a/./b", std::string("/a\0b", 4),
    };
    for (const std::string& path : valid) QVERIFY2(IsValidFolderPath(path), path.c_str());
    for (const std::string& path : invalid) QVERIFY2(!IsValidFolderPath(path), path.c_str());
}

void FolderChooserTest::missingLevelsAreMadeAfterOneQuestion()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/new/sub";
    Prompts prompts;
    FolderChooser chooser(prompts, dir.path().toStdString());

    prompts.yes = false;
    QVERIFY(!Accepted(chooser, path));
    QCOMPARE(prompts.questions, std::vector<std::string>{Text(kFolderMissing, path)});
    QVERIFY(!QDir(dir.path() + "/new").exists());

    prompts.yes = true;
    QVERIFY(Accepted(chooser, path));
    QCOMPARE(prompts.questions.size(), std::size_t{2});
    QVERIFY(prompts.messages.empty());
    QVERIFY(FolderExists(path));
    QCOMPARE(chooser.Path(), path);
}

void FolderChooserTest::invalidPathsAreRefusedAndNothingIsMade()
{
    QTemporaryDir dir;
    const std::string barred = dir.path().toStdString() + "/a|b";
    Prompts prompts;
    FolderChooser chooser(prompts, dir.path().toStdString());
    QVERIFY(!Accepted(chooser, barred));
    QVERIFY(!Accepted(chooser, "relative/folder"));
    QCOMPARE(prompts.messages, (std::vector<std::string>{"The folder:\n\n" + barred + "\n\nis invalid. Please reenter.",
                                                         "The folder:\n\nrelative/folder\n\nis invalid. Please reenter."}));
    QVERIFY(prompts.questions.empty());
    QVERIFY(QDir(dir.path()).isEmpty());
    QVERIFY(!CreateFolderLevels(barred));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void FolderChooserTest::levelThatCannotBeMade()
{
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/file";
    std::ofstream(file) << "x";
    const std::string path = file + "/sub";
    Prompts prompts;
    FolderChooser chooser(prompts, std::string());
    QVERIFY(!Accepted(chooser, path));
    QCOMPARE(prompts.questions.size(), std::size_t{1});
    QCOMPARE(prompts.messages, std::vector<std::string>{Text(kFolderNotCreated, path)});
    QVERIFY(chooser.Path().empty());
}

void FolderChooserTest::editBoxFollowsTheTree()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("child"));
    Prompts prompts;

    FolderChooser fromHere(prompts, std::string());
    QCOMPARE(Edit(fromHere)->text(), QDir::currentPath());

    // A start folder still to be made: its nearest level is selected, the edit box keeps it.
    const QString missing = dir.path() + "/later/on";
    FolderChooser chooser(prompts, missing.toStdString());
    auto* tree = chooser.findChild<QTreeView*>();
    auto* model = qobject_cast<QFileSystemModel*>(tree->model());
    QCOMPARE(model->filePath(tree->currentIndex()), dir.path());
    QCOMPARE(Edit(chooser)->text(), missing);
    QVERIFY(Ok(chooser)->isEnabled());

    Edit(chooser)->clear();
    QVERIFY(!Ok(chooser)->isEnabled());

    const QString child = dir.path() + "/child";
    tree->setCurrentIndex(model->index(child));
    QCOMPARE(Edit(chooser)->text(), child);
    QVERIFY(Ok(chooser)->isEnabled());

    tree->setCurrentIndex(QModelIndex());
    QVERIFY(Edit(chooser)->text().isEmpty());
    QVERIFY(!Ok(chooser)->isEnabled());
}

QTEST_MAIN(FolderChooserTest)
#include "folder_chooser_test.moc"
