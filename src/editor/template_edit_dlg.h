#pragma once

#include "editor/mark_drag.h"
#include "render/photo_resize.h"

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

class QAction;
class QComboBox;
class QKeyEvent;
class QLabel;
class QScrollArea;
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
// moment it is made, and closing the window (or Escape) ends editing, saving
// the current layer once more. Ctrl+Z and Ctrl+Shift+Z (or Ctrl+Y) step
// through the session's history. Enter does not close it.
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

    // The photos the preview may be drawn on instead of the sample photo (the
    // main window's list), each drawn as the batch would with `resize`;
    // `selected` (an index into `paths`, or -1 for the sample photo) is
    // shown first.
    void setPreviewPhotos(const QStringList &paths, int selected,
                          const kw::ResizeRequest &resize = {});

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addHistoryActions();
    // Bounds the window by the screen's free area; the pages scroll and the
    // preview shrinks when it is too small.
    void fitScreen();
    void showChosenPhoto(int index);
    void connectMarkPlacing();
    // The part of the layer the shown page edits.
    kw::MarkPart shownPart() const;
    bool isHistoryKey(const QKeyEvent *event) const;
    // Saves the current layer once more and ends the previews; runs once.
    void finishEditing();

    kw::EditorSession *m_session = nullptr;
    QTabWidget *m_tabs = nullptr;
    CTextLayerPage *m_textPage = nullptr;
    CImageLayerPage *m_imagePage = nullptr;
    kw::PreviewFrame *m_previewFrame = nullptr;
    QLabel *m_status = nullptr;
    QScrollArea *m_pagesScroller = nullptr;
    QComboBox *m_photoList = nullptr;
    QStringList m_photoPaths;
    kw::ResizeRequest m_resize;
    kw::MarkPart m_dragPart = kw::MarkPart::Text;
    QPoint m_dragStart;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    bool m_finished = false;
};

} // namespace kw
