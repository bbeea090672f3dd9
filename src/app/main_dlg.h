#pragma once

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

class QAction;
class QMenu;

namespace kw {

struct AppContext;
class CBatchProcessor;
class CBatchProgress;
class CButtonBar;
class CSourceList;
class CTemplateList;
class LanguageFile;

// Command numbers of the button bars and the template menu.
enum MainCommand : int {
    kCmdAddPhotos = 10,
    kCmdRemovePhoto = 11,
    kCmdPreview = 12,
    kCmdProcess = 13,
    kCmdAbort = 14,
    kCmdImageResizing = 15,
    kCmdPreferences = 16,
    kCmdOpenFolder = 17, // the photo list's menu: show the photo in its folder
    kCmdAddTemplate = 20,
    kCmdTemplateMenu = 21,
    kCmdEditTemplate = 32771,
    kCmdRenameTemplate = 32772,
    kCmdRemoveTemplate = 32773,
};

// The main window: the main toolbar and the settings bar on a banner, the
// template list with its bar below it on the left, the source file list on
// the right, and the batch run's progress on the banner.
//
// Construction does the window's start-up in order: default preferences
// when there are none, the first-run template, the template list with the
// selection of the last session, the Quick Start timer. Closing stops a batch
// run (waiting for the photos in progress); destruction stores the selected
// template's index in config.ini.
//
// The commands that open other windows are signals, connected by the
// application: previewRequested (toolbar Preview, double-click on a source
// row), resizeSettingsRequested, preferencesRequested, editTemplateRequested
// (template menu Edit, double-click on a template; only with a template
// selected), quickStartRequested (one second after start-up when the
// preferences ask for it) and aboutRequested (the window's context menu, F1).
//
// Every command is one QAction (action()): the bars' buttons, the menus and
// the shortcuts trigger it, and the button tooltips name its keys. The
// template commands (add, edit, rename, remove) are the template list's
// actions (CTemplateList::commands()); the menus, the template bar, the keys
// and a double-click trigger them, and they are all disabled while a batch
// runs. The photo list's context menu offers Preview, Remove, Open
// Containing Folder and Add Photos; the template list's the template menu's
// commands and Add Template. The bars take focus with Tab.
//
// User-interface thread only.
class CMainDlg : public QWidget
{
    Q_OBJECT
public:
    // The client area the layout is made for, and the window's minimum size.
    static constexpr QSize kClientSize{787, 545};

    explicit CMainDlg(AppContext &context, QWidget *parent = nullptr);
    ~CMainDlg() override;

    AppContext &context() { return m_context; }

    // The selected template's name; empty when none is selected.
    QString GetSelectedTemplateName() const;

    CButtonBar *mainToolbar() const { return m_toolbar; }
    CButtonBar *settingsBar() const { return m_settingsBar; }
    CButtonBar *templateBar() const { return m_templateBar; }
    CTemplateList *templateList() const { return m_templates; }
    CSourceList *sourceList() const { return m_sources; }
    QMenu *templateMenu() const { return m_templateMenu; }
    QMenu *templateContextMenu() const { return m_templateContextMenu; }
    QMenu *sourceMenu() const { return m_sourceMenu; }
    // The action of a command of the bars or the menus (kCmdAddPhotos to
    // kCmdOpenFolder, kCmdAddTemplate, kCmdTemplateMenu); nullptr for others.
    QAction *action(int command) const;
    CBatchProcessor *batch() const { return m_batch; }
    CBatchProgress *batchProgress() const { return m_progress; }

    // Writes config.ini now (it is written at destruction otherwise).
    void saveSelection();

public slots:
    // Commands of the main toolbar and the settings bar (10 to 16).
    void onToolbarCommand(int command);
    // Commands of the template bar (20, 21).
    void onTemplateBarCommand(int command);
    // Commands of the template menu (32771 to 32773).
    void onTemplateMenuCommand(int command);

signals:
    void previewRequested();
    void resizeSettingsRequested();
    void preferencesRequested();
    void editTemplateRequested();
    void quickStartRequested();
    void aboutRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    struct Anchor
    {
        QPointer<QWidget> widget;
        QRect rect;
        int moveX, moveY, growX, growY; // percentages of the size change
    };

    void buildBars(const LanguageFile &language);
    void buildTemplateMenu();
    void buildActions();
    void buildSourceMenu();
    void openContainingFolder();
    void anchor(QWidget *widget, int moveX, int moveY, int growX, int growY);
    void updateCommandStates();
    void showTemplateMenu();
    void editSelectedTemplate();
    void onRunningChanged(bool running);
    void onProgress(int done, int total);
    QPixmap bannerFor(QSize size);

    AppContext &m_context;
    CButtonBar *m_toolbar = nullptr;
    CButtonBar *m_settingsBar = nullptr;
    CButtonBar *m_templateBar = nullptr;
    CTemplateList *m_templates = nullptr;
    CSourceList *m_sources = nullptr;
    QMenu *m_templateMenu = nullptr;
    QMenu *m_templateContextMenu = nullptr;
    QMenu *m_sourceMenu = nullptr;
    QHash<int, QAction *> m_actions;
    CBatchProcessor *m_batch = nullptr;
    CBatchProgress *m_progress = nullptr;
    QList<Anchor> m_anchors;
    QPixmap m_languageBanner; // the language file's banner, when it has one
    QPixmap m_banner;         // the banner drawn for the current size
    bool m_selectionSaved = false;
};

} // namespace kw
