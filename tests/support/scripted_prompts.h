#pragma once

#include "controls/user_prompts.h"

#include <deque>

namespace kw {

// Answers given in advance, for tests. Each kind of question takes the next
// queued answer; when its queue is empty it gets the cautious answer: OK for
// a notice, No for a question, cancel for every prompt and picker. Every
// question asked is recorded.
class ScriptedPrompts : public UserPrompts
{
public:
    struct Message
    {
        QString text;
        QString caption; // as shown (MessageCaption)
        MessageIcon icon = MessageIcon::None;
        MessageButtons buttons = MessageButtons::Ok;
    };

    // Queued answers.
    std::deque<MessageAnswer> answers;
    // Names typed into successive name prompts; nullopt cancels. A name that
    // the request's check refuses is recorded as a message and the next queued
    // name is tried, as a user would retype it.
    std::deque<std::optional<QString>> names;
    std::deque<QStringList> files;
    std::deque<QString> folders;
    std::deque<std::optional<QColor>> colors;
    std::deque<std::optional<QFont>> fonts;
    Status openAddressResult;

    // What was asked.
    QList<Message> messages;
    QList<NameRequest> nameRequests;
    QList<OpenFilesRequest> fileRequests;
    QStringList folderCaptions;
    int colorRequests = 0;
    int fontRequests = 0;
    QList<QUrl> openedAddresses;
    QStringList shownFiles;

    // Texts of the recorded messages, in order.
    QStringList messageTexts() const;

    MessageAnswer message(QWidget *parent, const QString &text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok,
                          const QString &caption = {}) override;
    std::optional<QString> askName(QWidget *parent, const NameRequest &request) override;
    QStringList openFiles(QWidget *parent, const OpenFilesRequest &request) override;
    QString pickFolder(QWidget *parent, const QString &caption, const QString &folder) override;
    std::optional<QColor> pickColor(QWidget *parent, const QColor &initial,
                                    const QString &caption = {}) override;
    std::optional<QFont> pickFont(QWidget *parent, const QFont &initial,
                                  const QString &caption = {}) override;
    Status openAddress(const QUrl &address) override;
    void showFile(const QString &path) override;
};

} // namespace kw
