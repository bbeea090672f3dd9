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
#include "settings/preferences.h"
#include "settings/template_selection.h"

#include <QCloseEvent>

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

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
    m_templates = new CTemplateList(context.templatesFolder, context.prompts, this);
    m_templates->setGeometry(kTemplateListRect);
    buildTemplateMenu();
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
        if (m_toolbar->isButtonEnabled(kCmdPreview))
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

    buildShortcuts();
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
    connect(m_toolbar, &CButtonBar::commandClicked, this, &CMainDlg::onToolbarCommand);

    m_settingsBar = new CButtonBar(this);
    m_settingsBar->setObjectName(QStringLiteral("settingsBar"));
    m_settingsBar->setAccessibleName(QStringLiteral("Settings"));
    m_settingsBar->setGeometry(kSettingsBarRect);
    m_settingsBar->setBitmaps(kBmpSettingsBarNormal, kBmpSettingsBarHot, kBmpSettingsBarPressed,
                              kBmpSettingsBarDisabled, &language);
    m_settingsBar->addButton({kCmdImageResizing, QRect(22, 2, 35, 32), 0, true});
    m_settingsBar->addButton({kCmdPreferences, QRect(112, 2, 35, 32), 0, true});
    m_settingsBar->setupTooltips(language);
    connect(m_settingsBar, &CButtonBar::commandClicked, this, &CMainDlg::onToolbarCommand);

    m_templateBar = new CButtonBar(this);
    m_templateBar->setObjectName(QStringLiteral("templateBar"));
    m_templateBar->setAccessibleName(QStringLiteral("Templates"));
    m_templateBar->setGeometry(kTemplateBarRect);
    m_templateBar->setBitmaps(kBmpTemplateBarNormal, kBmpTemplateBarHot, kBmpTemplateBarPressed,
                              kBmpTemplateBarDisabled, &language);
    m_templateBar->addButton({kCmdAddTemplate, QRect(0, 0, 36, 23), kStrTipAddTemplate, true});
    m_templateBar->addButton({kCmdTemplateMenu, QRect(37, 0, 52, 23), 0, true});
    m_templateBar->setupTooltips(language);
    connect(m_templateBar, &CButtonBar::commandClicked, this, &CMainDlg::onTemplateBarCommand);
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

    // The same menu on a right-click in the list.
    m_templates->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_templates, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_templates->topLevelItemCount() > 0)
            m_templateMenu->popup(m_templates->viewport()->mapToGlobal(pos));
    });
}

void CMainDlg::buildShortcuts()
{
    const auto shortcut = [this](const QKeySequence &keys, QWidget *scope, auto slot) {
        auto *s = new QShortcut(keys, scope);
        s->setContext(scope == this ? Qt::WindowShortcut : Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence::Open, this, [this] { m_toolbar->trigger(kCmdAddPhotos); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this,
             [this] { m_toolbar->trigger(kCmdProcess); });
    shortcut(QKeySequence(Qt::Key_Escape), this, [this] { m_toolbar->trigger(kCmdAbort); });
    shortcut(QKeySequence::Delete, m_sources, [this] { m_toolbar->trigger(kCmdRemovePhoto); });
    shortcut(QKeySequence(Qt::Key_F2), m_templates,
             [this] { m_templates->commands().rename->trigger(); });
    shortcut(QKeySequence::HelpContents, this, [this] { emit aboutRequested(); });
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
    m_templateBar->enableButton(kCmdAddTemplate, !running);
    if (running) {
        m_toolbar->enableButton(kCmdRemovePhoto, false);
        m_toolbar->enableButton(kCmdPreview, false);
        m_toolbar->enableButton(kCmdProcess, false);
        m_toolbar->enableButton(kCmdAbort, !m_batch->isStopping());
        return;
    }
    const bool hasRows = m_sources->rowCount() > 0;
    m_toolbar->enableButton(kCmdRemovePhoto, hasRows);
    m_toolbar->enableButton(kCmdPreview, hasRows);
    m_toolbar->enableButton(kCmdProcess, hasRows);
    m_toolbar->enableButton(kCmdAbort, false);
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
