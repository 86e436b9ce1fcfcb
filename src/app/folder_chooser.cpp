#include "app/folder_chooser.h"

#include <sys/stat.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstring>

#include "app/dialog_parts.h"
#include "app/user_prompts.h"
#include "platform/file_paths.h"

namespace tamlorex::app {
namespace {

constexpr char kTitle[] = "Find Folder";
constexpr char kPrompt[] = "Select Folder";
constexpr char kForbidden[] = "\"*:<>?\\|";

bool IsEdgeCharacter(char c) { return c == '\t' || c == ' ' || c == '.'; }

bool IsValidPart(const std::string& path, std::size_t begin, std::size_t end)
{
    if (begin >= end) return false;
    if (IsEdgeCharacter(path[begin]) || IsEdgeCharacter(path[end - 1])) return false;
    for (std::size_t i = begin; i < end; ++i)
        if (path[i] == '\0' || std::strchr(kForbidden, path[i]) != nullptr) return false;
    return true;
}

// The path without the one "/" that may end it (never the root's own).
std::size_t BodyEnd(const std::string& path)
{
    return path.size() > 1 && path.back() == '/' ? path.size() - 1 : path.size();
}

}  // namespace

bool IsValidFolderPath(const std::string& path)
{
    if (path.empty() || path[0] != '/') return false;
    if (path == "/") return true;
    const std::size_t end = BodyEnd(path);
    std::size_t begin = 1;
    while (true) {
        std::size_t slash = path.find('/', begin);
        if (slash == std::string::npos || slash > end) slash = end;
        if (!IsValidPart(path, begin, slash)) return false;
        if (slash == end) return true;
        begin = slash + 1;
    }
}

bool FolderExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolderLevels(const std::string& path)
{
    return IsValidFolderPath(path) && CreateFolders(path.substr(0, BodyEnd(path)));
}

std::string FolderMessage(const char* pattern, const std::string& path)
{
    std::string text = pattern;
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, path);
    return text;
}

FolderChooser::FolderChooser(UserPrompts& prompts, const std::string& start, QWidget* parent)
    : QDialog(parent), prompts_(prompts)
{
    setWindowTitle(QString::fromLatin1(kTitle));

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setReadOnly(true);
    model_->setRootPath(QStringLiteral("/"));

    auto* prompt = new QLabel(QString::fromLatin1(kPrompt), this);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QString::number(kFolderEdit));
    edit_->setMaxLength(kMaxFolderChars);
    edit_->setClearButtonEnabled(true);

    tree_ = new QTreeView(this);
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setUniformRowHeights(true);
    tree_->setMinimumSize(320, 300);

    status_ = new QLabel(this);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    buttons_ = OkCancelButtons(*this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(edit_);
    layout->addWidget(tree_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons_);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, &FolderChooser::OnSelectionChanged);
    connect(edit_, &QLineEdit::textChanged, this, &FolderChooser::OnEditChanged);

    // The start folder, or its nearest existing level, is selected; the edit box keeps the start
    // path itself, so that a folder still to be made is offered as it was given.
    const QString startPath = start.empty() ? QDir::currentPath() : QString::fromStdString(start);
    QString shown = QDir::cleanPath(startPath);
    while (!shown.isEmpty() && !QFileInfo(shown).isDir() && shown != QStringLiteral("/"))
        shown = QFileInfo(shown).path();
    const QModelIndex index = model_->index(shown.isEmpty() ? QStringLiteral("/") : shown);
    if (index.isValid()) tree_->setCurrentIndex(index);
    else OnSelectionChanged();
    edit_->setText(startPath);
    edit_->setFocus();
}

void FolderChooser::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (tree_->currentIndex().isValid()) tree_->scrollTo(tree_->currentIndex(), QAbstractItemView::PositionAtCenter);
}

void FolderChooser::OnSelectionChanged()
{
    const QModelIndex index = tree_->currentIndex();
    QString path;
    const bool folder = index.isValid() && model_->isDir(index);
    if (folder) path = model_->filePath(index);
    const bool usable = folder && path.startsWith(QLatin1Char('/'));
    if (!usable) path.clear();
    status_->setText(path);
    edit_->setText(path);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(usable);
}

void FolderChooser::OnEditChanged(const QString& text)
{
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
}

void FolderChooser::Refuse()
{
    edit_->setFocus();
}

void FolderChooser::accept()
{
    QString typed = edit_->text().left(kMaxFolderChars);
    if (!typed.isEmpty() && typed.back().isHighSurrogate()) typed.chop(1);
    const std::string path = typed.toStdString();
    if (!IsValidFolderPath(path)) {
        prompts_.Message(this, FolderMessage(kFolderInvalid, path), std::string());
        Refuse();
        return;
    }
    if (!FolderExists(path)) {
        if (!prompts_.AskYesNo(this, FolderMessage(kFolderMissing, path))) {
            Refuse();
            return;
        }
        if (!CreateFolderLevels(path)) {
            prompts_.Message(this, FolderMessage(kFolderNotCreated, path), std::string());
            Refuse();
            return;
        }
    }
    path_ = path;
    QDialog::accept();
}

bool ChooseFolder(QWidget* owner, UserPrompts& prompts, const std::string& start, std::string& chosen)
{
    FolderChooser chooser(prompts, start, owner);
    if (!prompts.RunDialog(chooser)) return false;
    chosen = chooser.Path();
    return true;
}

bool ChooseFolderInto(QWidget* owner, UserPrompts& prompts, QLineEdit& field)
{
    std::string chosen;
    if (!ChooseFolder(owner, prompts, field.text().toStdString(), chosen)) return false;
    field.setText(QString::fromStdString(chosen));
    return true;
}

}  // namespace tamlorex::app
