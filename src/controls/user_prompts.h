#pragma once

#include "platform/result.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

// Everything that asks the user (message boxes, the name prompt, the file,
// colour, font and folder pickers) and everything that reaches outside the
// program (opening an address, showing a file in the file manager) goes
// through UserPrompts. The windows hold a reference to one; the program uses
// QtUserPrompts; tests answer in advance through a stand-in.
//
// All calls run on the user-interface thread. The Qt implementations are
// modal: they return when the user has answered.
namespace kw {

enum class MessageIcon {
    None,
    Information, // notices
    Warning,     // refused input (the exclamation icon)
    Question,    // confirmations
    Critical,
};

enum class MessageButtons {
    Ok,
    YesNo,
    // A question whose Yes destroys something (removing a template or a
    // layer): No is the default button, so Enter keeps what is there.
    YesNoDefaultNo,
};

enum class MessageAnswer {
    Ok,
    Yes,
    No,
};

// A request for a short name (a template or layer name).
struct NameRequest
{
    QString caption;     // the dialog's title, e.g. "Add New Template"
    QString label;       // e.g. "Input Template Name:"
    QString initialText; // what the field starts with
    // Called when the user confirms: the message that refuses the text, or an
    // empty string when it is accepted. A refused text is shown with the
    // warning icon and the prompt stays open for another try. May be empty
    // (every text is accepted).
    std::function<QString(const QString &text)> check;
};

// A request for one or more existing files.
struct OpenFilesRequest
{
    QString caption;
    QString folder; // where the picker starts; empty: the picker's own choice
    // Qt's filter syntax ("Description (*.a *.b);;Other (*.c)").
    QString filter;
    bool multiple = true;
};

class UserPrompts
{
public:
    virtual ~UserPrompts() = default;

    // A message box. An empty caption shows the application's name.
    virtual MessageAnswer message(QWidget *parent, const QString &text, MessageIcon icon,
                                  MessageButtons buttons = MessageButtons::Ok,
                                  const QString &caption = {}) = 0;

    // The name prompt; nullopt when the user cancels.
    virtual std::optional<QString> askName(QWidget *parent, const NameRequest &request) = 0;

    // Full paths of the chosen files; empty when the user cancels.
    virtual QStringList openFiles(QWidget *parent, const OpenFilesRequest &request) = 0;

    // The chosen folder; empty when the user cancels.
    virtual QString pickFolder(QWidget *parent, const QString &caption, const QString &folder) = 0;

    virtual std::optional<QColor> pickColor(QWidget *parent, const QColor &initial,
                                            const QString &caption = {}) = 0;

    virtual std::optional<QFont> pickFont(QWidget *parent, const QFont &initial,
                                          const QString &caption = {}) = 0;

    // Opens a web address or a mail address in the user's programs.
    virtual Status openAddress(const QUrl &address) = 0;

    // Shows the file in the system file manager, selected in its folder.
    // Returns at once; the file manager may appear later.
    virtual void showFile(const QString &path) = 0;
};

// The caption a message box shows for `caption`: the caption itself, or the
// application's display name when it is empty.
QString MessageCaption(const QString &caption);

// Dialogs and pickers of Qt; the file manager through D-Bus.
class QtUserPrompts : public UserPrompts
{
public:
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
