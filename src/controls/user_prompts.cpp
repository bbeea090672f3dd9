#include "controls/user_prompts.h"

#include "controls/file_manager.h"
#include "controls/name_dialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace kw {

QString MessageCaption(const QString &caption)
{
    if (!caption.isEmpty())
        return caption;
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Kelvane Watermark") : name;
}

// ---------------------------------------------------------------- Qt

MessageAnswer QtUserPrompts::message(QWidget *parent, const QString &text, MessageIcon icon,
                                     MessageButtons buttons, const QString &caption)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(MessageCaption(caption));
    box.setText(text);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoDefaultNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(buttons == MessageButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

std::optional<QString> QtUserPrompts::askName(QWidget *parent, const NameRequest &request)
{
    CNameDialog dialog(request, *this, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.name();
}

QStringList QtUserPrompts::openFiles(QWidget *parent, const OpenFilesRequest &request)
{
    if (request.multiple)
        return QFileDialog::getOpenFileNames(parent, request.caption, request.folder,
                                             request.filter, nullptr, QFileDialog::ReadOnly);
    const QString path = QFileDialog::getOpenFileName(
        parent, request.caption, request.folder, request.filter, nullptr, QFileDialog::ReadOnly);
    return path.isEmpty() ? QStringList{} : QStringList{path};
}

QString QtUserPrompts::pickFolder(QWidget *parent, const QString &caption, const QString &folder)
{
    return QFileDialog::getExistingDirectory(parent, caption, folder, QFileDialog::ShowDirsOnly);
}

std::optional<QColor> QtUserPrompts::pickColor(QWidget *parent, const QColor &initial,
                                               const QString &caption)
{
    const QColor color = QColorDialog::getColor(initial, parent, caption);
    if (!color.isValid())
        return std::nullopt;
    return color;
}

std::optional<QFont> QtUserPrompts::pickFont(QWidget *parent, const QFont &initial,
                                             const QString &caption)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent, caption);
    if (!ok)
        return std::nullopt;
    return font;
}

Status QtUserPrompts::openAddress(const QUrl &address)
{
    if (!address.isValid())
        return Failure{QStringLiteral("The address is not valid.")};
    if (!QDesktopServices::openUrl(address))
        return Failure{QStringLiteral("No program could open the address.")};
    return {};
}

void QtUserPrompts::showFile(const QString &path)
{
    ShowFileInFileManager(path);
}

} // namespace kw
