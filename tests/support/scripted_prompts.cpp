#include "support/scripted_prompts.h"

namespace kw {

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
        buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
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

Status ScriptedPrompts::openAddress(const QUrl &address)
{
    openedAddresses.append(address);
    return openAddressResult;
}

void ScriptedPrompts::showFile(const QString &path)
{
    shownFiles.append(path);
}

} // namespace kw
