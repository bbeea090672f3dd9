#pragma once

#include "editor/preview_photo.h"
#include "render/photo_resize.h"
#include "render/watermark_renderer.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QWidget>

#include <memory>
#include <optional>

namespace kw {

// The editor's preview area: shows the last finished picture as the
// compositor placed it in a view of kSize. When the window leaves it less
// room, the view is shrunk to fit, keeping its proportions.
//
// The mark can be placed by hand: dragging with the left button reports the
// movement since the press in the photo's pixels; arrow keys (with Shift, ten
// times further) report single steps. UI thread only.
class PreviewFrame : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewFrame(QWidget *parent = nullptr);

    // `photoSize`: the size of the photo `picture` shows (larger than the
    // picture on a shrunk copy of a user's photo; empty: the picture's own).
    void showPicture(const QImage &picture, const ViewPlacement &placement, QSize photoSize = {});
    const QImage &picture() const { return m_picture; }
    // Pictures shown so far.
    int shownCount() const { return m_shownCount; }
    // Photo pixels per widget pixel, as shown now.
    double photoPixelsPerViewPixel() const;
    // The size of the photo the picture shows, in its own pixels.
    QSize photoSize() const;

    QSize sizeHint() const override { return kSize; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    static constexpr QSize kSize{677, 625};
    static constexpr QSize kMinimumSize{160, 148};

signals:
    void pictureShown();
    void dragStarted();
    // The movement since the press, in photo pixels.
    void dragMoved(const QPointF &photoDelta);
    void dragFinished();
    // One arrow key: a step in photo pixels.
    void nudged(const QPoint &photoStep);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Widget pixels per pixel of the kSize view.
    double viewScale() const;

    QImage m_picture;
    ViewPlacement m_placement;
    QSize m_photoSize;
    int m_shownCount = 0;
    std::optional<QPointF> m_pressedAt;
};

// Draws the editor preview of one template (RenderWatermark in the mode
// EditorPreview, or the template on a user's photo through PreviewPhoto) on
// a worker thread, so the editor never waits for it.
//
// requestRedraw() is cheap and may be called for every keystroke: when no
// render runs, one starts at once; while one runs, further requests are
// folded into a single render that starts when it ends. A render reads the
// layer files when it starts, so the last picture shown always reflects every
// change saved before the last request. Finished pictures arrive through
// pictureReady() on the thread that owns this object (the UI thread).
//
// stop() ends the previews: it waits for a render in flight, drops its
// picture, and later requests do nothing. The destructor stops too.
class LivePreview : public QObject
{
    Q_OBJECT
public:
    LivePreview(QString templatesFolder, QString templateName, QSize viewSize,
                QObject *parent = nullptr);
    ~LivePreview() override;

    void requestRedraw();
    void stop();

    // The photo to preview on: empty for the sample photo, else a photo
    // drawn as the batch would draw it with `resize` (loaded once, by the
    // next render). Asks for a redraw.
    void setPhoto(const QString &path, const ResizeRequest &resize = {});
    const QString &photo() const { return m_photoPath; }

    // A render runs or is waiting to start.
    bool isBusy() const { return m_running || m_pending; }
    bool isStopped() const { return m_stopped; }
    // Renders started so far.
    int renderCount() const { return m_renderCount; }

signals:
    // `photoSize`: the size of the photo the picture shows.
    void pictureReady(const QImage &picture, const kw::ViewPlacement &placement, QSize photoSize);
    // After each picture: why the template could not be drawn (a layer file
    // or logo that cannot be read), or empty text when it was drawn.
    void problemChanged(const QString &reason);
    // Emitted when the last requested picture has arrived and nothing waits.
    void idle();

private:
    void startRender();
    // On the worker: the template on the user's photo (prepared into `cache`
    // when it holds another one); returns why it could not be drawn.
    static QString renderOnPhoto(const QString &folder, const QString &name, QSize view,
                                 const QString &photoPath, const ResizeRequest &resize,
                                 std::optional<PreviewPhoto> &cache, PreviewTarget &target,
                                 QSize &photoSize);
    void renderFinished(const QImage &picture, const ViewPlacement &placement, QSize photoSize,
                        const QString &problem);

    const QString m_templatesFolder;
    const QString m_templateName;
    const QSize m_viewSize;
    QString m_photoPath;
    ResizeRequest m_resize;
    // The user's photo as last prepared; touched only by the render jobs,
    // which run one at a time.
    std::shared_ptr<std::optional<PreviewPhoto>> m_photoCache =
        std::make_shared<std::optional<PreviewPhoto>>();
    QThreadPool m_pool;
    bool m_running = false;
    bool m_pending = false;
    bool m_stopped = false;
    int m_renderCount = 0;
};

} // namespace kw
