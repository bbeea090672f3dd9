#pragma once

#include "render/watermark_renderer.h"

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QThreadPool>

#include <list>

class QLabel;
class QScrollBar;

namespace kw {

class CSkinButton;

class UserPrompts;
class PreviewView;

// The photos the output preview steps through: the main window's source
// list. Each call returns a full path, or empty text.
class SourceFileStepper
{
public:
    virtual ~SourceFileStepper() = default;
    // The first selected row's photo; row 0 is selected first when no row is.
    virtual QString GetCurrentSourceFile() = 0;
    // Selects the row after (before) the current one and returns its photo;
    // returns empty text, and changes nothing, when there is none.
    virtual QString SelectNextSourceFile() = 0;
    virtual QString SelectPreviousSourceFile() = 0;
};

// SourceFileStepper over any list that has the three calls under these
// names (the main window's source list).
template <typename List>
class SourceFileStepperFor final : public SourceFileStepper
{
public:
    explicit SourceFileStepperFor(List &list) : m_list(list) {}
    QString GetCurrentSourceFile() override { return m_list.GetCurrentSourceFile(); }
    QString SelectNextSourceFile() override { return m_list.SelectNextSourceFile(); }
    QString SelectPreviousSourceFile() override { return m_list.SelectPreviousSourceFile(); }

private:
    List &m_list;
};

// What the previews are made with.
struct OutputPreviewInputs
{
    QString dataFolder;      // holds resizing_config.ini, re-read for each photo
    QString templatesFolder; // the template and layer files
    QString templateName;    // the selected template; empty when none is selected
    bool resizeJustThisTime = false;
};

// Shows what the batch run would make of the current photo of the source list:
// decoded, turned upright, resized and watermarked, at one picture pixel per
// screen pixel, panned with the scroll bars (line steps of 2 pixels) or by
// dragging. "<<" and ">>" step through the list, moving its selection; at
// either end they say so. "Fit" shows the whole result shrunk to the view
// instead (off at first).
//
// Each photo is rendered once, on a worker thread, through
// CWatermarkRenderer::RenderWatermark in the output-preview mode; panning,
// painting and Fit reuse the finished picture. While a photo renders the
// dialog stays responsive and a step to another photo drops the stale result.
// The last few pictures are kept, so stepping back shows them at once. A photo
// that cannot be read shows the reason in the view, with both scroll bars off.
//
// The dialog covers the screen's available area. UI thread only; `sources`
// and `prompts` must outlive the dialog. Destroying the dialog waits for a
// render in progress.
class COutputPreviewDlg : public QDialog
{
    Q_OBJECT
public:
    COutputPreviewDlg(kw::OutputPreviewInputs inputs, kw::SourceFileStepper &sources,
                      kw::UserPrompts &prompts, QWidget *parent = nullptr);
    ~COutputPreviewDlg() override;

    QString currentPath() const { return m_path; }
    // The scroll position in picture pixels.
    QPoint scrollPosition() const { return m_position; }
    // The finished picture of the current photo; null while it renders or
    // when it could not be made.
    QImage picture() const { return m_picture; }
    // Why the current photo could not be shown; empty otherwise.
    QString renderError() const { return m_renderError; }
    bool isRendering() const { return m_rendering; }
    // How many renders have been started; stepping back to a kept picture,
    // panning and Fit start none.
    int renderCount() const { return m_renderCount; }
    bool isFitToView() const;
    void setFitToView(bool fit);

    void OnPrevious();
    void OnNext();

signals:
    // The current photo's picture is ready (or failed); emitted once per
    // render that is still wanted.
    void pictureReady();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Kept
    {
        QString key;
        QImage picture;
        QString error;
    };

    void layoutControls();
    void showPhoto(const QString &path);
    // Sets both bars for the current picture: 0 to (picture - view), page 0,
    // position 0; a bar that cannot scroll is disabled.
    void SetupPreviewScrollBars();
    void onRendered(quint64 generation, const QString &key, const kw::RenderOutcome &outcome);
    void setPicture(const QImage &picture, const QString &error);
    void updateView();
    QString cacheKey(const QString &path, const kw::ResizeRequest &resize) const;

    kw::OutputPreviewInputs m_inputs;
    kw::SourceFileStepper &m_sources;
    kw::UserPrompts &m_prompts;

    kw::PreviewView *m_view = nullptr;
    CSkinButton *m_next = nullptr;
    CSkinButton *m_previous = nullptr;
    CSkinButton *m_fit = nullptr;
    QLabel *m_pathLabel = nullptr;
    QLabel *m_noTemplateNote = nullptr;
    QScrollBar *m_vertical = nullptr;
    QScrollBar *m_horizontal = nullptr;

    QString m_path;
    QImage m_picture;
    QString m_renderError;
    QPoint m_position;
    bool m_rendering = false;
    bool m_dragging = false;
    QPoint m_lastDragPoint;

    QThreadPool m_renderPool;
    quint64 m_generation = 0;
    int m_renderCount = 0;
    std::list<Kept> m_kept; // most recent first
};

} // namespace kw
