#include "editor/template_edit_dlg.h"

#include "editor/editor_session.h"
#include "editor/image_layer_page.h"
#include "editor/live_preview.h"
#include "editor/output_metadata_group.h"
#include "editor/resist_removal_group.h"
#include "editor/text_layer_page.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

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

    m_previewFrame = new kw::PreviewFrame(this);
    m_previewFrame->setObjectName(u"previewFrame"_s);
    m_status = new QLabel(this);
    m_status->setObjectName(u"editorStatus"_s);
    m_status->setWordWrap(true);
    m_status->setFixedWidth(kw::PreviewFrame::kSize.width());
    QPalette warning = m_status->palette();
    warning.setColor(QPalette::WindowText, QColor(180, 0, 0));
    m_status->setPalette(warning);

    // The pages on the left, the preview 20 pixels to their right, level
    // with the top of the pages.
    auto *previewColumn = new QVBoxLayout;
    previewColumn->setSpacing(6);
    previewColumn->addSpacing(std::max(0, m_tabs->tabBar()->sizeHint().height() - 10));
    previewColumn->addWidget(m_previewFrame);
    previewColumn->addWidget(m_status);
    // The outputs' metadata in the room below the preview.
    auto *metadata = new kw::OutputMetadataGroup(*m_session, this);
    metadata->setFixedWidth(kw::PreviewFrame::kSize.width());
    previewColumn->addWidget(metadata);
    previewColumn->addStretch(1);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 11, 20, 11);
    row->setSpacing(20);
    // The template-wide option sits below the layer pages.
    auto *pagesColumn = new QVBoxLayout;
    pagesColumn->addWidget(m_tabs);
    pagesColumn->addWidget(new kw::ResistRemovalGroup(*m_session, this));
    row->addLayout(pagesColumn);
    row->addLayout(previewColumn);
    row->setSizeConstraint(QLayout::SetFixedSize);

    // Both pages polished now, so the tabs are sized for the larger one and
    // the dialog keeps its size when the other tab is shown.
    ensurePolished();

    connect(&m_session->preview(), &kw::LivePreview::pictureReady, m_previewFrame,
            &kw::PreviewFrame::showPicture);
    connect(m_session, &kw::EditorSession::statusChanged, m_status, &QLabel::setText);
    // A template the preview cannot draw says why where the status stands.
    connect(&m_session->preview(), &kw::LivePreview::problemChanged, m_status,
            [this](const QString &problem) {
                m_status->setText(problem.isEmpty() ? m_session->status() : problem);
            });

    m_session->open();
    m_status->setText(m_session->status());
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
    case Qt::Key_Escape:
        event->accept(); // editing ends only when the window is closed
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace kw
