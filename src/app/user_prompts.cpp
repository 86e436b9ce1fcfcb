#include "app/user_prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/command_ids.h"
#include "app/login_dialog.h"

namespace tamlorex::app {

std::string QtFilterFrom(const std::string& filter)
{
    // Pairs of description and pattern; the description already names the pattern.
    std::string out;
    std::size_t at = 0;
    bool description = true;
    while (at < filter.size()) {
        std::size_t bar = filter.find('|', at);
        if (bar == std::string::npos) bar = filter.size();
        const std::string part = filter.substr(at, bar - at);
        if (description && !part.empty()) {
            if (!out.empty()) out += ";;";
            out += part;
        }
        description = !description;
        at = bar + 1;
    }
    return out;
}

void QtPrompts::Message(QWidget* owner, const std::string& text, const std::string& caption)
{
    QMessageBox::information(owner, QString::fromStdString(caption.empty() ? kTitle : caption),
                             QString::fromStdString(text));
}

bool QtPrompts::AskYesNo(QWidget* owner, const std::string& text)
{
    return QMessageBox::question(owner, QString::fromLatin1(kTitle), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string QtPrompts::OpenFileName(QWidget* owner, const std::string& filter)
{
    return QFileDialog::getOpenFileName(owner, QString(), QString(), QString::fromStdString(QtFilterFrom(filter)))
        .toStdString();
}

std::string QtPrompts::SaveFileName(QWidget* owner, const std::string& defaultName, const std::string& filter,
                                    const std::string& folder)
{
    const std::string start = folder.empty() ? defaultName : folder + "/" + defaultName;
    return QFileDialog::getSaveFileName(owner, QString(), QString::fromStdString(start),
                                        QString::fromStdString(QtFilterFrom(filter)))
        .toStdString();
}

bool QtPrompts::RunLogin(LoginDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

bool UserPrompts::RunDialog(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void QtPrompts::About(QWidget* owner)
{
    QDialog box(owner);
    box.setWindowTitle(QStringLiteral("About Viewer"));
    auto* grid = new QGridLayout(&box);
    auto* name = new QLabel(QString::fromLatin1(kTitleText), &box);
    name->setObjectName(QStringLiteral("1717"));
    auto* version = new QLabel(QString::fromLatin1(kAboutVersion), &box);
    version->setObjectName(QStringLiteral("1661"));
    auto* lib = new QLabel(QString::fromLatin1(kAboutLibVersion), &box);
    lib->setObjectName(QStringLiteral("1662"));
    grid->addWidget(name, 0, 0, 1, 2);
    grid->addWidget(version, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Lib:"), &box), 2, 0);
    grid->addWidget(lib, 2, 1);
    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    grid->addWidget(ok, 3, 1);
    box.exec();
}

}  // namespace tamlorex::app
