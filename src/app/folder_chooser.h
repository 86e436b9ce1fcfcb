#pragma once
// The folder chooser behind both "Browse..." buttons: a folder tree with an edit box above it. The
// path typed or picked is checked on OK; a missing folder is created, level by level, when the
// user agrees.
#include <QDialog>

#include <string>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTreeView;

namespace tamlorex::app {

class UserPrompts;

// Control id of the edit box, also its object name.
inline constexpr int kFolderEdit = 14148;
// At most this many characters of the edit box are taken.
inline constexpr int kMaxFolderChars = 260;

inline constexpr char kFolderInvalid[] = "The folder:\n\n%s\n\nis invalid. Please reenter.";
inline constexpr char kFolderMissing[] = "The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?";
inline constexpr char kFolderNotCreated[] = "The folder:\n\n%s\n\ncan not be created. Please double check.";

// An absolute path: "/" alone, or "/" followed by parts separated by single "/"; each part is not
// empty, does not begin or end with a tab, a blank or a full stop, and holds none of " * : < > ? \ |
// (nor a NUL byte, which no path can hold). One "/" may end the path ("/data/" names "/data").
bool IsValidFolderPath(const std::string& path);
// Whether the path names a folder (following links).
bool FolderExists(const std::string& path);
// Creates every missing level of a valid path from the root down, checking after each that it is
// a folder; false as soon as one is not.
bool CreateFolderLevels(const std::string& path);
// One of the three messages above with the path in place of %s.
std::string FolderMessage(const char* pattern, const std::string& path);

class FolderChooser : public QDialog {
    Q_OBJECT
public:
    // An empty start path starts in the current directory.
    FolderChooser(UserPrompts& prompts, const std::string& start, QWidget* parent = nullptr);

    // The folder accepted by OK.
    const std::string& Path() const { return path_; }

public slots:
    // Checks the edit box (see IsValidFolderPath); closes only on a folder that exists or was made.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void OnSelectionChanged();
    void OnEditChanged(const QString& text);

private:
    // Puts the focus back into the edit box after a refusal.
    void Refuse();

    UserPrompts& prompts_;
    QFileSystemModel* model_;
    QTreeView* tree_;
    QLineEdit* edit_;
    QLabel* status_;
    QDialogButtonBox* buttons_;
    std::string path_;
};

// Runs the chooser through the prompts, owned by owner; true and the folder in chosen on OK.
bool ChooseFolder(QWidget* owner, UserPrompts& prompts, const std::string& start, std::string& chosen);
// A "Browse..." button's work: the chooser starts at the field's text; on OK the chosen folder
// replaces it.
bool ChooseFolderInto(QWidget* owner, UserPrompts& prompts, QLineEdit& field);

}  // namespace tamlorex::app
