#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

class QAction;

namespace kw {

class UserPrompts;

// The template library of the main window: the list of templates (one
// column, "Watermark Templates") and the commands that add, rename and
// remove them. Every change goes through the template library functions,
// which keep the index and the files in step; the list follows their
// result and is never reloaded from disk after start-up.
//
// The selected template index is what the window stores at exit. A click on
// an item (or moving the selection with the keyboard) stores its index; a
// click on the empty area below the items keeps the selection.
//
// The commands that change or remove templates are one set of actions
// (commands()): the window's template menu, the template bar, the list's
// context menu and the shortcuts all trigger these, so disabling one action
// (while a batch runs) disables the command everywhere.
//
// User-interface thread only.
class CTemplateList : public QTreeWidget
{
    Q_OBJECT
public:
    CTemplateList(QString templatesFolder, UserPrompts &prompts, QWidget *parent = nullptr);

    // The template commands; owned by the list.
    struct Commands
    {
        QAction *add = nullptr;    // addTemplate()
        QAction *edit = nullptr;   // editRequested() for the selection
        QAction *rename = nullptr; // renameSelected()
        QAction *remove = nullptr; // removeSelected()
    };
    const Commands &commands() const { return m_commands; }
    // Enables or disables every command of commands() at once; a double-click
    // opens the editor only while they are enabled.
    void setCommandsEnabled(bool enabled);
    bool commandsEnabled() const;

    // Fills the list from the template index and selects the item at the
    // index stored in config.ini of `dataFolder`. When the index cannot be
    // loaded the list stays empty and config.ini is not read.
    void loadTemplateList(const QString &dataFolder);

    // The text of the selected item; empty when none is selected.
    QString selectedTemplateName() const;
    // The selected template index (what config.ini receives at exit).
    int selectedIndex() const { return m_selectedIndex; }
    QStringList names() const;

    // Template bar command 20: asks for a name and adds the template at the
    // end of the list without selecting it. Returns whether it was added.
    bool addTemplate();
    // Menu command 32772: asks for a new name for the selected template.
    bool renameSelected();
    // Menu command 32773: asks, then removes the selected template and its
    // files; item 0 becomes the selection.
    bool removeSelected();

signals:
    // A double-click hit an item: the template is to be opened for editing.
    void editRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void selectIndex(int index);
    void applyClickRule(QTreeWidgetItem *hit);
    QString checkName(const QString &name, const QString &renamedFrom) const;

    QString m_folder;
    UserPrompts &m_prompts;
    int m_selectedIndex = -1;
    Commands m_commands;
};

} // namespace kw
