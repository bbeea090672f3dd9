#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QTabWidget;

namespace kw {

class CImageLayerPage;
class CTextLayerPage;

class EditorSession;
class LivePreview;
class PreviewFrame;
class UserPrompts;

// "Edit Watermark Template": the Text and Image pages of one template's
// layers beside a live preview of the whole template on the sample photo.
// There is no OK or Cancel: every change is saved into the layer's file the
// moment it is made, and closing the window ends editing (saving the current
// layer once more). Enter and Escape do not close it.
//
// Opens on the template's first layer. The template must not change name
// while the editor is open. Renders run on a worker thread; the dialog waits
// for the one in flight when it closes, after which no preview is drawn.
// UI thread only; show it with exec().
class CTemplateEditDlg : public QDialog
{
    Q_OBJECT
public:
    CTemplateEditDlg(const QString &templatesFolder, const QString &templateName,
                     kw::UserPrompts &prompts, QWidget *parent = nullptr);
    ~CTemplateEditDlg() override;

    CTextLayerPage *textPage() const { return m_textPage; }
    CImageLayerPage *imagePage() const { return m_imagePage; }
    kw::PreviewFrame *previewFrame() const { return m_previewFrame; }
    kw::LivePreview &livePreview();

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Saves the current layer once more and ends the previews; runs once.
    void finishEditing();

    kw::EditorSession *m_session = nullptr;
    QTabWidget *m_tabs = nullptr;
    CTextLayerPage *m_textPage = nullptr;
    CImageLayerPage *m_imagePage = nullptr;
    kw::PreviewFrame *m_previewFrame = nullptr;
    QLabel *m_status = nullptr;
    bool m_finished = false;
};

} // namespace kw
