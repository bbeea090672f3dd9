#pragma once

#include <QDialog>
#include <QList>
#include <QWidget>

namespace kw {

class CHyperLinkLabel;

class UserPrompts;

// A link of the About page: its text and the address it opens.
struct AboutLink
{
    QString objectName;
    QString text;
    QString address;
};

// The six links: the vendor's home page, the user guide, the questions page,
// the support mail address, a mail telling a friend, and the download page.
QList<AboutLink> AboutLinks();

// The "About and Support" page: the program's name and running version, and
// link labels to the vendor's pages and support. UI thread only; `prompts`
// (which opens the links) must outlive the page.
class CAboutPage : public QWidget
{
    Q_OBJECT
public:
    explicit CAboutPage(kw::UserPrompts &prompts, QWidget *parent = nullptr);

    QList<CHyperLinkLabel *> links() const { return m_links; }

private:
    QList<CHyperLinkLabel *> m_links;
};

// The same page as a dialog of its own, with an OK button: the About entry of
// the main window's menu.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(kw::UserPrompts &prompts, QWidget *parent = nullptr);
};

} // namespace kw
