#include "editor/template_edit_dlg.h"

#include "editor/editor_session.h"
#include "editor/image_layer_page.h"
#include "editor/live_preview.h"
#include "editor/mark_drag.h"
#include "editor/output_metadata_group.h"
#include "editor/resist_removal_group.h"
#include "editor/text_layer_page.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Asks for the whole of the pages (and room for a vertical scroll bar), so
// the window is as large as they are when the screen allows it.
class PagesScrollArea : public QScrollArea
{
public:
    explicit PagesScrollArea(QWidget *parent) : QScrollArea(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override
    {
        const QSize pages = widget() ? widget()->sizeHint() : QSize();
        return pages + QSize(verticalScrollBar()->sizeHint().width(), 0);
    }
    QSize minimumSizeHint() const override
    {
        // On a screen too small for the whole window the pages scroll both
        // ways rather than push it off the screen.
        return {160, 120};
    }
};

} // namespace

CTemplateEditDlg::CTemplateEditDlg(const QString &templatesFolder, const QString &templateName,
                                   kw::UserPrompts &prompts, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"templateEditDlg"_s);
    setWindowTitle(u"Edit Watermark Template"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont font(u"Tahoma"_s);
    font.setPointSize(9);
    setFont(font);

    m_session = new kw::EditorSession(templatesFolder, templateName, prompts, this);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(u"editorTabs"_s);
    m_textPage = new CTextLayerPage(*m_session);
    m_imagePage = new CImageLayerPage(*m_session);
    m_tabs->addTab(m_textPage, u"Text"_s);
    m_tabs->addTab(m_imagePage, u"Image"_s);

    m_photoList = new QComboBox(this);
    m_photoList->setObjectName(u"previewPhotoList"_s);
    m_photoList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_photoList->setMinimumContentsLength(12);
    m_photoList->addItem(u"Sample photo"_s);
    m_photoList->setToolTip(u"The photo the preview draws the template on"_s);
    m_previewFrame = new kw::PreviewFrame(this);
    m_previewFrame->setObjectName(u"previewFrame"_s);
    m_status = new QLabel(this);
    m_status->setObjectName(u"editorStatus"_s);
    m_status->setWordWrap(true);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPalette warning = m_status->palette();
    warning.setColor(QPalette::WindowText, QColor(180, 0, 0));
    m_status->setPalette(warning);

    // The pages on the left, scrolled when the screen is too small for them;
    // the photo choice and the preview 20 pixels to their right.
    auto *previewColumn = new QVBoxLayout;
    previewColumn->setSpacing(6);
    previewColumn->addWidget(m_photoList);
    previewColumn->addWidget(m_previewFrame, 1);
    previewColumn->addWidget(m_status);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 11, 20, 11);
    row->setSpacing(20);
    // The template-wide option sits below the layer pages.
    auto *pages = new QWidget;
    pages->setObjectName(u"editorPages"_s);
    auto *pagesColumn = new QVBoxLayout(pages);
    pagesColumn->setContentsMargins(0, 0, 0, 0);
    pagesColumn->addWidget(m_tabs);
    pagesColumn->addWidget(new kw::ResistRemovalGroup(*m_session, pages));
    pagesColumn->addWidget(new kw::OutputMetadataGroup(*m_session, pages));
    pagesColumn->addStretch(1);
    m_pagesScroller = new PagesScrollArea(this);
    m_pagesScroller->setObjectName(u"editorPagesScroller"_s);
    m_pagesScroller->setWidget(pages);
    row->addWidget(m_pagesScroller);
    row->addLayout(previewColumn, 1);

    connect(&m_session->preview(), &kw::LivePreview::pictureReady, m_previewFrame,
            &kw::PreviewFrame::showPicture);
    connect(m_photoList, &QComboBox::activated, this, &CTemplateEditDlg::showChosenPhoto);
    connectMarkPlacing();
    connect(m_session, &kw::EditorSession::statusChanged, m_status, &QLabel::setText);
    // A template the preview cannot draw says why where the status stands.
    connect(&m_session->preview(), &kw::LivePreview::problemChanged, m_status,
            [this](const QString &problem) {
                m_status->setText(problem.isEmpty() ? m_session->status() : problem);
            });

    m_session->open();
    m_status->setText(m_session->status());
    addHistoryActions();

    // Both pages polished now, so the tabs are sized for the larger one and
    // the window keeps its size when the other tab is shown.
    ensurePolished();
    pages->adjustSize();
    fitScreen();
}

void CTemplateEditDlg::fitScreen()
{
    QScreen *shown = parentWidget() ? parentWidget()->screen() : screen();
    if (!shown)
        return;
    // Room for the window's frame, which exists only once it is shown.
    const int frameWidth = 2 * style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const QSize frame(frameWidth, frameWidth + style()->pixelMetric(QStyle::PM_TitleBarHeight));
    const QSize room = shown->availableGeometry().size() - frame;
    // The pages keep their whole width while the preview can still shrink;
    // on a narrower screen they scroll sideways too.
    const QMargins margins = layout()->contentsMargins();
    const int besidePages = margins.left() + margins.right() + layout()->spacing() +
                            kw::PreviewFrame::kMinimumSize.width();
    m_pagesScroller->setMinimumWidth(
        std::clamp(room.width() - besidePages, 0, m_pagesScroller->sizeHint().width()));
    setMaximumSize(room.expandedTo(minimumSizeHint()));
    resize(sizeHint().boundedTo(room));
}

void CTemplateEditDlg::setPreviewPhotos(const QStringList &paths, int selected,
                                        const ResizeRequest &resize)
{
    m_photoPaths = paths;
    m_resize = resize;
    while (m_photoList->count() > 1)
        m_photoList->removeItem(1);
    for (const QString &path : paths) {
        m_photoList->addItem(QFileInfo(path).fileName());
        m_photoList->setItemData(m_photoList->count() - 1, path, Qt::ToolTipRole);
    }
    m_photoList->setCurrentIndex(selected >= 0 && selected < paths.size() ? selected + 1 : 0);
    showChosenPhoto(m_photoList->currentIndex());
}

void CTemplateEditDlg::showChosenPhoto(int index)
{
    const QString path =
        index >= 1 && index <= m_photoPaths.size() ? m_photoPaths.at(index - 1) : QString();
    m_photoList->setToolTip(path.isEmpty() ? u"The photo the preview draws the template on"_s
                                           : path);
    m_session->preview().setPhoto(path, m_resize);
}

kw::MarkPart CTemplateEditDlg::shownPart() const
{
    return m_tabs->currentWidget() == m_imagePage ? kw::MarkPart::Image : kw::MarkPart::Text;
}

void CTemplateEditDlg::connectMarkPlacing()
{
    const auto photoSize = [this] { return m_previewFrame->photoSize(); };
    connect(m_previewFrame, &kw::PreviewFrame::dragStarted, this, [this] {
        m_dragPart = shownPart();
        m_dragStart = kw::PartOffsets(m_session->record(), m_dragPart);
        m_session->breakBurst();
        m_session->setGesture(u"drag"_s);
    });
    connect(m_previewFrame, &kw::PreviewFrame::dragMoved, this,
            [this, photoSize](const QPointF &delta) {
                const kw::MarkPart part = m_dragPart;
                const QPoint start = m_dragStart;
                const QSize size = photoSize();
                m_session->editRecord(
                    [&](CWatermarkConf &layer) { kw::MoveMark(layer, part, start, delta, size); });
            });
    connect(m_previewFrame, &kw::PreviewFrame::dragFinished, this, [this] {
        m_session->setGesture({});
        m_session->breakBurst();
    });
    connect(m_previewFrame, &kw::PreviewFrame::nudged, this, [this, photoSize](const QPoint &step) {
        const kw::MarkPart part = shownPart();
        const QPoint start = kw::PartOffsets(m_session->record(), part);
        const QSize size = photoSize();
        m_session->editRecord(
            [&](CWatermarkConf &layer) { kw::MoveMark(layer, part, start, step, size); });
    });
}

void CTemplateEditDlg::addHistoryActions()
{
    QUndoStack &history = m_session->history();
    m_undo = history.createUndoAction(this, u"Undo"_s);
    m_undo->setObjectName(u"undoAction"_s);
    m_undo->setShortcuts(QKeySequence::Undo);
    m_redo = history.createRedoAction(this, u"Redo"_s);
    m_redo->setObjectName(u"redoAction"_s);
    m_redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    addAction(m_undo);
    addAction(m_redo);
    // The boxes' own undo would take the keys and undo only their text, as a
    // new change; the editor's history covers every control.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    // Typing in another control starts a new step.
    connect(qApp, &QApplication::focusChanged, this, [this] { m_session->breakBurst(); });
}

bool CTemplateEditDlg::isHistoryKey(const QKeyEvent *event) const
{
    const QKeySequence pressed(event->keyCombination());
    for (const QAction *action : {m_undo, m_redo}) {
        for (const QKeySequence &sequence : action->shortcuts()) {
            if (sequence.matches(pressed) == QKeySequence::ExactMatch)
                return true;
        }
    }
    return false;
}

bool CTemplateEditDlg::eventFilter(QObject *watched, QEvent *event)
{
    // A shortcut override left unaccepted lets the window's shortcut run; a
    // key press that arrives anyway (nothing to undo) is dropped.
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        isHistoryKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

CTemplateEditDlg::~CTemplateEditDlg()
{
    finishEditing();
}

kw::LivePreview &CTemplateEditDlg::livePreview()
{
    return m_session->preview();
}

void CTemplateEditDlg::done(int result)
{
    finishEditing();
    QDialog::done(result);
}

void CTemplateEditDlg::finishEditing()
{
    if (m_finished)
        return;
    m_finished = true;
    m_session->saveRecord();
    m_session->preview().stop();
}

void CTemplateEditDlg::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept(); // Enter in a box does not end editing
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace kw
