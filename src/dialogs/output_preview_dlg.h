#pragma once

#include "render/watermark_renderer.h"

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QThreadPool>

#include <array>
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
    // The current photo's position in the list, from 0, as a batch run over
    // the list numbers it (the text variable {counter}); -1 when unknown.
    virtual int CurrentSourcePosition() { return -1; }
    // Selects the first (last) row and returns its photo; empty text when
    // the list is empty. By default by stepping.
    virtual QString SelectFirstSourceFile();
    virtual QString SelectLastSourceFile();
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
    int CurrentSourcePosition() override
    {
        if constexpr (requires(List & list) { list.firstSelectedRow(); })
            return m_list.firstSelectedRow();
        else
            return -1;
    }
    QString SelectFirstSourceFile() override { return m_list.SelectFirstSourceFile(); }
    QString SelectLastSourceFile() override { return m_list.SelectLastSourceFile(); }

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
// instead (off at first); "1:1" and "2:1" show it at those scales.
//
// Keys: Ctrl+wheel, + and - zoom in steps (1/16 to 8) about the pointer (the
// keys about the view's centre), keeping the picture point there in place;
// 0 fits, 1 and 2 pick 1:1 and 2:1; the arrows and the wheel pan (Shift+wheel
// across); Page Up / Page Down and Ctrl (or Alt) + Left / Right step through
// the photos, Home and End go to the first and the last.
//
// Each photo is rendered once, on a worker thread, through
// CWatermarkRenderer::RenderWatermark in the output-preview mode; panning,
// zooming, painting and Fit reuse the finished picture. While a photo renders the
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
    // The scroll position in view pixels of the zoomed picture (picture
    // pixels at 1:1).
    QPoint scrollPosition() const { return m_position; }
    // Screen pixels per picture pixel, also while fitted.
    double zoom() const;
    // The picture point under `viewPoint` (in the view's content pixels).
    QPointF pictureAt(QPoint viewPoint) const;
    // Zooms to `zoom` keeping the picture point under `anchor` there.
    void setZoom(double zoom, QPoint anchor);
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
    void OnFirst();
    void OnLast();

    // The zoom steps of the keys and the wheel.
    static constexpr std::array<double, 13> kZoomSteps{
        1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1, 1.5, 2, 3, 4, 6, 8};

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
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

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
    // Both bars for the zoomed picture, at `position` as far as they reach.
    void setScrollRanges(QPoint position);
    QSize zoomedSize() const;
    QPoint viewCentre() const;
    void zoomBy(int steps, QPoint anchor);
    void panBy(QPoint delta);
    // Ctrl+wheel zooms about `inView` (content pixels of the view); the
    // wheel alone pans.
    void onWheel(QWheelEvent *event, QPoint inView);
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
    CSkinButton *m_actualSize = nullptr;
    CSkinButton *m_doubleSize = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QLabel *m_pathLabel = nullptr;
    QLabel *m_noTemplateNote = nullptr;
    QScrollBar *m_vertical = nullptr;
    QScrollBar *m_horizontal = nullptr;

    QString m_path;
    QImage m_picture;
    QString m_renderError;
    QPoint m_position;
    double m_zoom = 1; // when not fitted
    int m_wheelDegrees = 0;
    bool m_rendering = false;
    bool m_dragging = false;
    QPoint m_lastDragPoint;

    QThreadPool m_renderPool;
    quint64 m_generation = 0;
    int m_renderCount = 0;
    std::list<Kept> m_kept; // most recent first
};

} // namespace kw
