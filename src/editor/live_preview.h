#pragma once

#include "render/watermark_renderer.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QWidget>

namespace kw {

// The editor's preview area: shows the last finished picture as the
// compositor placed it. Fixed at the size of the sample photo.
class PreviewFrame : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewFrame(QWidget *parent = nullptr);

    void showPicture(const QImage &picture, const ViewPlacement &placement);
    const QImage &picture() const { return m_picture; }
    // Pictures shown so far.
    int shownCount() const { return m_shownCount; }

    QSize sizeHint() const override { return kSize; }

    static constexpr QSize kSize{677, 625};

signals:
    void pictureShown();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    ViewPlacement m_placement;
    int m_shownCount = 0;
};

// Draws the editor preview of one template (RenderWatermark in the mode
// EditorPreview) on a worker thread, so the editor never waits for it.
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

    // A render runs or is waiting to start.
    bool isBusy() const { return m_running || m_pending; }
    bool isStopped() const { return m_stopped; }
    // Renders started so far.
    int renderCount() const { return m_renderCount; }

signals:
    void pictureReady(const QImage &picture, const kw::ViewPlacement &placement);
    // After each picture: why the template could not be drawn (a layer file
    // or logo that cannot be read), or empty text when it was drawn.
    void problemChanged(const QString &reason);
    // Emitted when the last requested picture has arrived and nothing waits.
    void idle();

private:
    void startRender();
    void renderFinished(const QImage &picture, const ViewPlacement &placement,
                        const QString &problem);

    const QString m_templatesFolder;
    const QString m_templateName;
    const QSize m_viewSize;
    QThreadPool m_pool;
    bool m_running = false;
    bool m_pending = false;
    bool m_stopped = false;
    int m_renderCount = 0;
};

} // namespace kw
