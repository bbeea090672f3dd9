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
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
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

ShellResult QtUserPrompts::openAddress(const QUrl &address)
{
    if (!address.isValid())
        return {false, QStringLiteral("The address is not valid.")};
    if (!QDesktopServices::openUrl(address))
        return {false, QStringLiteral("No program could open the address.")};
    return {};
}

void QtUserPrompts::showFile(const QString &path)
{
    ShowFileInFileManager(path);
}

// ---------------------------------------------------------------- scripted

namespace {

template <typename T>
std::optional<T> TakeFront(std::deque<T> &queue)
{
    if (queue.empty())
        return std::nullopt;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

} // namespace

QStringList ScriptedPrompts::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts << m.text;
    return texts;
}

MessageAnswer ScriptedPrompts::message(QWidget *, const QString &text, MessageIcon icon,
                                       MessageButtons buttons, const QString &caption)
{
    messages.append({text, MessageCaption(caption), icon, buttons});
    const MessageAnswer fallback =
        buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    return TakeFront(answers).value_or(fallback);
}

std::optional<QString> ScriptedPrompts::askName(QWidget *parent, const NameRequest &request)
{
    nameRequests.append(request);
    while (!names.empty()) {
        std::optional<QString> name = std::move(names.front());
        names.pop_front();
        if (!name)
            return std::nullopt;
        const QString refusal = request.check ? request.check(*name) : QString();
        if (refusal.isEmpty())
            return name;
        message(parent, refusal, MessageIcon::Warning);
    }
    return std::nullopt;
}

QStringList ScriptedPrompts::openFiles(QWidget *, const OpenFilesRequest &request)
{
    fileRequests.append(request);
    return TakeFront(files).value_or(QStringList{});
}

QString ScriptedPrompts::pickFolder(QWidget *, const QString &caption, const QString &)
{
    folderCaptions.append(caption);
    return TakeFront(folders).value_or(QString());
}

std::optional<QColor> ScriptedPrompts::pickColor(QWidget *, const QColor &, const QString &)
{
    ++colorRequests;
    return TakeFront(colors).value_or(std::nullopt);
}

std::optional<QFont> ScriptedPrompts::pickFont(QWidget *, const QFont &, const QString &)
{
    ++fontRequests;
    return TakeFront(fonts).value_or(std::nullopt);
}

ShellResult ScriptedPrompts::openAddress(const QUrl &address)
{
    openedAddresses.append(address);
    return openAddressResult;
}

void ScriptedPrompts::showFile(const QString &path)
{
    shownFiles.append(path);
}

} // namespace kw
