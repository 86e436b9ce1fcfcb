#pragma once
// The pieces every dialog of the viewer builds itself from: controls named by their ids, the OK
// and Cancel row, and a folder field with its "Browse..." button.
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace tamlorex::app {

// The control id becomes the widget's object name, by which the tests find it.
template <typename W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

// OK (id 1) and Cancel (id 2), wired to the dialog's accept and reject.
inline QDialogButtonBox* OkCancelButtons(QDialog& dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    Named(buttons->button(QDialogButtonBox::Ok), 1);
    Named(buttons->button(QDialogButtonBox::Cancel), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

// A group titled `title` holding the folder field `editId` and "Browse..." (`browseId`).
inline QGroupBox* FolderGroup(QWidget* parent, const char* title, int editId, int browseId, QLineEdit*& edit,
                              QPushButton*& browse)
{
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    edit = Named(new QLineEdit(group), editId);
    browse = Named(new QPushButton(QStringLiteral("Browse..."), group), browseId);
    browse->setAutoDefault(false);
    auto* layout = new QHBoxLayout(group);
    layout->addWidget(edit, 1);
    layout->addWidget(browse);
    return group;
}

}  // namespace tamlorex::app
