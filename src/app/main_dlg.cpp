#include "app/main_dlg.h"

#include "app/app_context.h"
#include "app/batch_progress.h"
#include "app/batch_run.h"
#include "app/source_list.h"
#include "app/template_list.h"
#include "controls/artwork.h"
#include "controls/button_bar.h"
#include "controls/user_prompts.h"
#include "i18n/language_file.h"
#include "i18n/string_table.h"
#include "model/template_library.h"
#include "settings/photo_folder_setting.h"
#include "settings/preferences.h"
#include "settings/template_selection.h"

#include <QAction>
#include <QCloseEvent>

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

const QString kAppName = QStringLiteral("Kelvane Watermark");
const QString kSelectTemplateFirst = QStringLiteral("Please select a watermark template first.");

// The layout, in device-independent pixels. The numbers are those of a
// 787 x 542 client area (W x H), what a classic window frame leaves of an
// 803 x 580 window. At that height the source list (top H - 474, 477 high)
// ends 3 pixels below the client area and the template bar under the template
// list (top 2H - 563) 2 pixels below it, so the client area here is 3 pixels
// taller and shows both whole.
constexpr int kLayoutWidth = 787;
constexpr int kLayoutHeight = 542;
constexpr int kListTop = kLayoutHeight - 474;
constexpr QRect kToolbarRect(1, 18, 360, 51);
constexpr QRect kSettingsBarRect(627, 18, 159, 51);
constexpr QRect kTemplateListRect(1, kListTop, kLayoutWidth - 608, kLayoutHeight - 89);
constexpr QRect kSourceListRect(kLayoutWidth - 606, kListTop, 605, 477);
// The template bar sits under the template list; its pictures are 187 pixels
// wide, but past its buttons the bar is empty, and it stops at the list's
// right edge so that it does not reach under the source list.
constexpr int kTemplateBarWidth =
    std::min(187, kTemplateListRect.x() + kTemplateListRect.width() - 2);
constexpr QRect kTemplateBarRect(2, kTemplateListRect.y() + kTemplateListRect.height(),
                                 kTemplateBarWidth, 23);
// The batch progress on the banner, between the two bars.
constexpr int kProgressLeft = kToolbarRect.x() + kToolbarRect.width() + 12;
constexpr QRect kProgressRect(kProgressLeft, kToolbarRect.y() + 6,
                              kSettingsBarRect.x() - 14 - kProgressLeft,
                              kToolbarRect.height() - 12);

const QColor kBackground(183, 183, 183);

} // namespace

CMainDlg::CMainDlg(AppContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kAppName);
    setWindowIcon(AppIcon());
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    // The paint handler covers the whole client area.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kClientSize);
    setMinimumSize(kClientSize);

    const LanguageFile language = LanguageFile::open(GetLanguageFile());

    m_sources = new CSourceList(context.prompts, this);
    m_sources->setGeometry(kSourceListRect);
    m_sources->setLastFolder(LoadLastPhotoFolder(context.dataFolder).valueOr({}));
    connect(m_sources, &CSourceList::photoFolderChosen, this, [this](const QString &folder) {
        // Not fatal: the dialog then opens in the pictures folder next time.
        (void)SaveLastPhotoFolder(m_context.dataFolder, folder);
    });
    m_templates = new CTemplateList(context.templatesFolder, context.prompts, this);
    m_templates->setGeometry(kTemplateListRect);
    buildTemplateMenu();
    buildActions();
    buildSourceMenu();
    buildBars(language);

    m_progress = new CBatchProgress(this);
    m_progress->setGeometry(kProgressRect);

    const QString bannerFile = language.bitmapPath(kBmpBanner);
    if (!bannerFile.isEmpty()) {
        const QImage image = language.bitmap(kBmpBanner);
        if (!image.isNull())
            m_languageBanner = QPixmap::fromImage(image);
    }

    m_batch = new CBatchProcessor(context, *m_sources, this);
    connect(m_batch, &CBatchProcessor::runningChanged, this, &CMainDlg::onRunningChanged);
    connect(m_batch, &CBatchProcessor::progressChanged, this, &CMainDlg::onProgress);
    connect(m_batch, &CBatchProcessor::runFinished, this, [this](const BatchSummary &summary) {
        m_progress->showSummary(CBatchProcessor::SummaryText(summary));
    });

    connect(m_sources, &CSourceList::filesDropped, this, [this](int) {
        updateCommandStates();
        activateWindow();
        raise();
    });
    m_sources->setOutputSettingsSource([this]() -> std::optional<CPreferences> {
        CPreferences prefs;
        if (!LoadPreferences(m_context.dataFolder, prefs))
            return std::nullopt;
        return prefs;
    });
    connect(m_sources, &CSourceList::dropNotes, this,
            [this](const QStringList &notes) { m_progress->showSummary(notes.join(u"; ")); });
    connect(m_sources, &CSourceList::rowActivated, this, [this](int) {
        if (action(kCmdPreview)->isEnabled())
            emit previewRequested();
    });
    connect(m_templates, &CTemplateList::editRequested, this, &CMainDlg::editSelectedTemplate);

    // The list with the last selection, then the Quick Start (start-up has
    // written the first-run files already).
    m_templates->loadTemplateList(context.dataFolder);
    if (ShouldOpenQuickStart(context.dataFolder))
        QTimer::singleShot(1000, this, [this] { emit quickStartRequested(); });

    anchor(m_settingsBar, 100, 0, 0, 0);
    anchor(m_templates, 0, 0, 0, 100);
    anchor(m_sources, 0, 0, 100, 100);
    anchor(m_templateBar, 0, 100, 0, 0);
    anchor(m_progress, 0, 0, 100, 0);

    setTabOrder(m_toolbar, m_settingsBar);
    setTabOrder(m_settingsBar, m_templates);
    setTabOrder(m_templates, m_templateBar);
    setTabOrder(m_templateBar, m_sources);
    updateCommandStates();
    m_sources->setFocus();
}

CMainDlg::~CMainDlg()
{
    m_batch->stopAndWait();
    if (!m_selectionSaved)
        saveSelection();
}

void CMainDlg::saveSelection()
{
    (void)SaveSelectedTemplateIndex(m_context.dataFolder, m_templates->selectedIndex());
    m_selectionSaved = true;
}

QString CMainDlg::GetSelectedTemplateName() const
{
    return m_templates->selectedTemplateName();
}

void CMainDlg::buildBars(const LanguageFile &language)
{
    m_toolbar = new CButtonBar(this);
    m_toolbar->setObjectName(QStringLiteral("mainToolbar"));
    m_toolbar->setAccessibleName(QStringLiteral("Main toolbar"));
    m_toolbar->setGeometry(kToolbarRect);
    m_toolbar->setBitmaps(kBmpToolbarNormal, kBmpToolbarHot, kBmpToolbarPressed,
                          kBmpToolbarDisabled, &language);
    m_toolbar->addButton({kCmdAddPhotos, QRect(0, 0, 52, 50), kStrTipAddPhotos, true});
    m_toolbar->addButton({kCmdRemovePhoto, QRect(53, 0, 85, 50), kStrTipRemoveItem, false});
    m_toolbar->addButton({kCmdPreview, QRect(138, 0, 97, 50), kStrTipPreview, false});
    m_toolbar->addButton({kCmdProcess, QRect(236, 0, 65, 50), kStrTipProcess, false});
    m_toolbar->addButton({kCmdAbort, QRect(302, 0, 44, 50), kStrTipAbort, false});
    m_toolbar->setupTooltips(language);

    m_settingsBar = new CButtonBar(this);
    m_settingsBar->setObjectName(QStringLiteral("settingsBar"));
    m_settingsBar->setAccessibleName(QStringLiteral("Settings"));
    m_settingsBar->setGeometry(kSettingsBarRect);
    m_settingsBar->setBitmaps(kBmpSettingsBarNormal, kBmpSettingsBarHot, kBmpSettingsBarPressed,
                              kBmpSettingsBarDisabled, &language);
    m_settingsBar->addButton({kCmdImageResizing, QRect(22, 2, 35, 32), 0, true});
    m_settingsBar->addButton({kCmdPreferences, QRect(112, 2, 35, 32), 0, true});
    m_settingsBar->setupTooltips(language);

    m_templateBar = new CButtonBar(this);
    m_templateBar->setObjectName(QStringLiteral("templateBar"));
    m_templateBar->setAccessibleName(QStringLiteral("Templates"));
    m_templateBar->setGeometry(kTemplateBarRect);
    m_templateBar->setBitmaps(kBmpTemplateBarNormal, kBmpTemplateBarHot, kBmpTemplateBarPressed,
                              kBmpTemplateBarDisabled, &language);
    m_templateBar->addButton({kCmdAddTemplate, QRect(0, 0, 36, 23), kStrTipAddTemplate, true});
    m_templateBar->addButton({kCmdTemplateMenu, QRect(37, 0, 52, 23), 0, true});
    m_templateBar->setupTooltips(language);

    // Each button is its command's action; Tab reaches the bars.
    for (CButtonBar *bar : {m_toolbar, m_settingsBar, m_templateBar}) {
        for (int command : bar->commands())
            bar->setAction(command, action(command));
        bar->setFocusPolicy(Qt::TabFocus);
    }
}

void CMainDlg::buildTemplateMenu()
{
    m_templateMenu = new QMenu(this);
    m_templateMenu->setObjectName(QStringLiteral("templateMenu"));
    m_templateMenu->setStyleSheet(
        QStringLiteral("QMenu { background: #ffffff; border: 1px solid #7d8791; padding: 4px 0; }"
                       "QMenu::item { padding: 5px 22px 5px 14px; color: #26303b; }"
                       "QMenu::item:selected { background: #c9ebe5; color: #14201e; }"
                       "QMenu::separator { height: 1px; background: #dde1e5; margin: 4px 8px; }"));
    // The list's own actions: disabled there, disabled in every menu.
    const CTemplateList::Commands &commands = m_templates->commands();
    commands.edit->setData(int(kCmdEditTemplate));
    commands.remove->setData(int(kCmdRemoveTemplate));
    commands.rename->setData(int(kCmdRenameTemplate));
    commands.add->setData(int(kCmdAddTemplate));
    m_templateMenu->addAction(commands.edit);
    m_templateMenu->addSeparator();
    m_templateMenu->addAction(commands.remove);
    m_templateMenu->addSeparator();
    m_templateMenu->addAction(commands.rename);

    // The same commands on a right-click in the list, and adding one.
    m_templateContextMenu = new QMenu(this);
    m_templateContextMenu->setObjectName(u"templateContextMenu"_s);
    m_templateContextMenu->setStyleSheet(m_templateMenu->styleSheet());
    m_templateContextMenu->addActions(m_templateMenu->actions());
    m_templateContextMenu->addSeparator();
    m_templateContextMenu->addAction(commands.add);
    m_templates->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_templates, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        m_templateContextMenu->popup(m_templates->viewport()->mapToGlobal(pos));
    });
}

void CMainDlg::buildActions()
{
    // One action per command: the bars' buttons, the menus and the keys all
    // trigger these, so a command disabled during a run is disabled
    // everywhere.
    const auto make = [this](int command, const QString &text, const QKeySequence &keys,
                             QWidget *scope, auto slot) {
        auto *made = new QAction(text, this);
        made->setObjectName(u"action%1"_s.arg(command));
        made->setData(command);
        made->setShortcut(keys);
        made->setShortcutContext(scope == this ? Qt::WindowShortcut
                                               : Qt::WidgetWithChildrenShortcut);
        scope->addAction(made);
        connect(made, &QAction::triggered, this, slot);
        m_actions.insert(command, made);
        return made;
    };
    const auto command = [this](int number) {
        return [this, number] { onToolbarCommand(number); };
    };
    make(kCmdAddPhotos, u"Add Photos…"_s, QKeySequence::Open, this, command(kCmdAddPhotos));
    make(kCmdRemovePhoto, u"Remove"_s, QKeySequence::Delete, m_sources, command(kCmdRemovePhoto));
    make(kCmdPreview, u"Preview"_s, QKeySequence(Qt::CTRL | Qt::Key_P), this, command(kCmdPreview));
    make(kCmdProcess, u"Process"_s, QKeySequence(Qt::CTRL | Qt::Key_Return), this,
         command(kCmdProcess));
    make(kCmdAbort, u"Abort"_s, QKeySequence(Qt::Key_Escape), this, command(kCmdAbort));
    make(kCmdImageResizing, u"Image Resizing…"_s, QKeySequence(Qt::CTRL | Qt::Key_R), this,
         command(kCmdImageResizing));
    make(kCmdPreferences, u"Preferences…"_s, QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
         command(kCmdPreferences));
    make(kCmdTemplateMenu, u"Template Menu"_s, QKeySequence(Qt::CTRL | Qt::Key_M), this,
         [this] { showTemplateMenu(); });
    make(kCmdOpenFolder, u"Open Containing Folder"_s, QKeySequence(), m_sources,
         [this] { openContainingFolder(); });

    // The template list's own actions get their keys here.
    const CTemplateList::Commands &commands = m_templates->commands();
    const auto keys = [this](QAction *act, const QKeySequence &sequence, QWidget *scope) {
        act->setShortcut(sequence);
        act->setShortcutContext(scope == this ? Qt::WindowShortcut
                                              : Qt::WidgetWithChildrenShortcut);
        scope->addAction(act);
    };
    keys(commands.add, QKeySequence(Qt::CTRL | Qt::Key_T), this);
    keys(commands.edit, QKeySequence(Qt::CTRL | Qt::Key_E), this);
    keys(commands.rename, QKeySequence(Qt::Key_F2), m_templates);
    keys(commands.remove, QKeySequence::Delete, m_templates);
    m_actions.insert(kCmdAddTemplate, commands.add);

    auto *about = new QAction(this);
    about->setShortcut(QKeySequence::HelpContents);
    addAction(about);
    connect(about, &QAction::triggered, this, &CMainDlg::aboutRequested);
}

QAction *CMainDlg::action(int command) const
{
    return m_actions.value(command);
}

void CMainDlg::buildSourceMenu()
{
    m_sourceMenu = new QMenu(this);
    m_sourceMenu->setObjectName(u"sourceMenu"_s);
    m_sourceMenu->setStyleSheet(m_templateMenu->styleSheet());
    m_sourceMenu->addAction(action(kCmdPreview));
    m_sourceMenu->addAction(action(kCmdRemovePhoto));
    m_sourceMenu->addAction(action(kCmdOpenFolder));
    m_sourceMenu->addSeparator();
    m_sourceMenu->addAction(action(kCmdAddPhotos));
    m_sourceMenu->addSeparator();
    QAction *thumbnails = m_sourceMenu->addAction(u"Show Thumbnails"_s);
    thumbnails->setObjectName(u"showThumbnailsAction"_s);
    thumbnails->setCheckable(true);
    thumbnails->setChecked(m_sources->thumbnailsShown());
    connect(thumbnails, &QAction::toggled, m_sources, &CSourceList::setThumbnailsShown);
    m_sources->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_sources, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        // A right-click on a row outside the selection selects that row, as
        // file managers do.
        if (QTreeWidgetItem *item = m_sources->itemAt(pos); item && !item->isSelected())
            m_sources->selectOnly(m_sources->indexOfTopLevelItem(item));
        updateCommandStates();
        m_sourceMenu->popup(m_sources->viewport()->mapToGlobal(pos));
    });
    connect(m_sources, &QTreeWidget::itemSelectionChanged, this,
            [this] { action(kCmdOpenFolder)->setEnabled(m_sources->firstSelectedRow() >= 0); });
}

void CMainDlg::openContainingFolder()
{
    const int row = m_sources->firstSelectedRow();
    if (row >= 0)
        m_context.prompts.showFile(m_sources->pathAt(row));
}

void CMainDlg::anchor(QWidget *widget, int moveX, int moveY, int growX, int growY)
{
    m_anchors.append({widget, widget->geometry(), moveX, moveY, growX, growY});
}

void CMainDlg::updateCommandStates()
{
    // A run draws the template it read at its start; the commands that
    // would change or remove templates wait until it ends.
    const bool running = m_batch->isRunning();
    m_templates->setCommandsEnabled(!running);
    action(kCmdOpenFolder)->setEnabled(m_sources->firstSelectedRow() >= 0);
    if (running) {
        action(kCmdRemovePhoto)->setEnabled(false);
        action(kCmdPreview)->setEnabled(false);
        action(kCmdProcess)->setEnabled(false);
        action(kCmdAbort)->setEnabled(!m_batch->isStopping());
        return;
    }
    const bool hasRows = m_sources->rowCount() > 0;
    action(kCmdRemovePhoto)->setEnabled(hasRows);
    action(kCmdPreview)->setEnabled(hasRows);
    action(kCmdProcess)->setEnabled(hasRows);
    action(kCmdAbort)->setEnabled(false);
}

void CMainDlg::onToolbarCommand(int command)
{
    switch (command) {
    case kCmdAddPhotos:
        if (m_sources->addSourceFiles() > 0 && !m_batch->isRunning())
            m_progress->clear();
        updateCommandStates();
        break;
    case kCmdRemovePhoto:
        if (m_batch->isRunning())
            break;
        m_sources->removeSelected();
        updateCommandStates();
        break;
    case kCmdPreview:
        if (!m_batch->isRunning() && m_sources->rowCount() > 0)
            emit previewRequested();
        break;
    case kCmdProcess:
        if (!m_batch->isRunning() && m_sources->rowCount() > 0)
            m_batch->start(this, GetSelectedTemplateName());
        break;
    case kCmdAbort:
        if (m_batch->isRunning()) {
            m_batch->stop();
            m_progress->showStopping();
            updateCommandStates();
        }
        break;
    case kCmdImageResizing:
        emit resizeSettingsRequested();
        break;
    case kCmdPreferences:
        emit preferencesRequested();
        break;
    default:
        break;
    }
}

void CMainDlg::onTemplateBarCommand(int command)
{
    if (command == kCmdAddTemplate)
        m_templates->commands().add->trigger();
    else if (command == kCmdTemplateMenu)
        showTemplateMenu();
}

void CMainDlg::onTemplateMenuCommand(int command)
{
    const CTemplateList::Commands &commands = m_templates->commands();
    switch (command) {
    case kCmdEditTemplate:
        commands.edit->trigger();
        break;
    case kCmdRemoveTemplate:
        commands.remove->trigger();
        break;
    case kCmdRenameTemplate:
        commands.rename->trigger();
        break;
    default:
        break;
    }
}

void CMainDlg::showTemplateMenu()
{
    // Left edge 36 pixels right of the bar's, top at the bar's bottom; when
    // the screen has no room below, the menu opens above the bar instead of
    // covering it.
    const QPoint below = m_templateBar->mapToGlobal(QPoint(36, m_templateBar->height()));
    QPoint at = below;
    const QSize menuSize = m_templateMenu->sizeHint();
    if (const QScreen *screen = m_templateBar->screen()) {
        const QRect area = screen->availableGeometry();
        if (below.y() + menuSize.height() > area.bottom() + 1)
            at.setY(m_templateBar->mapToGlobal(QPoint(0, 0)).y() - menuSize.height());
    }
    m_templateMenu->popup(at);
}

void CMainDlg::editSelectedTemplate()
{
    if (GetSelectedTemplateName().isEmpty()) {
        m_context.prompts.message(this, kSelectTemplateFirst, MessageIcon::Information);
        return;
    }
    emit editTemplateRequested();
}

void CMainDlg::onRunningChanged(bool running)
{
    updateCommandStates();
    if (!running)
        setWindowTitle(kAppName);
}

void CMainDlg::onProgress(int done, int total)
{
    m_progress->showRunning(done, total);
    if (m_batch->isStopping())
        m_progress->showStopping();
    // The photo being worked on is the one after those done.
    const int current = total == 0 ? 0 : std::min(done + 1, total);
    setWindowTitle(kAppName + QStringLiteral(" — %1 of %2").arg(current).arg(total));
}

QPixmap CMainDlg::bannerFor(QSize size)
{
    if (!m_languageBanner.isNull())
        return m_languageBanner;
    const qreal ratio = devicePixelRatioF();
    if (m_banner.isNull() || m_banner.deviceIndependentSize().toSize() != size ||
        m_banner.devicePixelRatio() != ratio)
        m_banner = BuiltInPixmap(kBmpBanner, size, ratio);
    return m_banner;
}

void CMainDlg::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    // The banner stretched from the toolbar's top-left corner over the
    // window's width, as high as the toolbar.
    const QRect banner(m_toolbar->x(), m_toolbar->y(), width(), m_toolbar->height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(banner, bannerFor(banner.size()));
}

void CMainDlg::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int dx = width() - kClientSize.width();
    const int dy = height() - kClientSize.height();
    for (const Anchor &a : std::as_const(m_anchors)) {
        if (!a.widget)
            continue;
        a.widget->setGeometry(a.rect.x() + a.moveX * dx / 100, a.rect.y() + a.moveY * dy / 100,
                              a.rect.width() + a.growX * dx / 100,
                              a.rect.height() + a.growY * dy / 100);
    }
}

void CMainDlg::closeEvent(QCloseEvent *event)
{
    // A run in progress is stopped; the photos being written are finished
    // so that no half-done work is left.
    m_batch->stopAndWait();
    saveSelection();
    event->accept();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent *event)
{
    // The window's own menu, on its background and banner.
    const QString about = LoadLocalizedString(kStrAboutMenuItem);
    if (about.isEmpty())
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("windowMenu"));
    QAction *action = menu.addAction(about);
    action->setObjectName(QStringLiteral("aboutAction"));
    connect(action, &QAction::triggered, this, &CMainDlg::aboutRequested);
    menu.exec(event->globalPos());
}

} // namespace kw
