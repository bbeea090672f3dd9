#include "editor/live_preview.h"

#include <QPainter>

namespace kw {

namespace {

// Receives the compositor's picture on the worker thread.
class CapturedPreview : public PreviewTarget
{
public:
    explicit CapturedPreview(QSize size) : m_size(size) {}
    QSize viewSize() const override { return m_size; }
    void showPreview(const QImage &shown, const ViewPlacement &where) override
    {
        picture = shown;
        placement = where;
    }

    QImage picture;
    ViewPlacement placement;

private:
    QSize m_size;
};

} // namespace

// ---------------------------------------------------------------- frame

PreviewFrame::PreviewFrame(QWidget *parent) : QWidget(parent)
{
    setFixedSize(kSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewFrame::showPicture(const QImage &picture, const ViewPlacement &placement)
{
    m_picture = picture;
    m_placement = placement;
    ++m_shownCount;
    update();
    emit pictureShown();
}

void PreviewFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull() || m_placement.eraseBackground)
        painter.fillRect(rect(), Qt::white);
    if (!m_picture.isNull())
        painter.drawImage(m_placement.destination, m_picture, m_placement.source);
}

// ---------------------------------------------------------------- renders

LivePreview::LivePreview(QString templatesFolder, QString templateName, QSize viewSize,
                         QObject *parent)
    : QObject(parent), m_templatesFolder(std::move(templatesFolder)),
      m_templateName(std::move(templateName)), m_viewSize(viewSize)
{
    // One warm thread: renders run one after the other, and a keystroke does
    // not pay for starting a thread.
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
}

LivePreview::~LivePreview()
{
    stop();
}

void LivePreview::requestRedraw()
{
    if (m_stopped)
        return;
    if (m_running) {
        m_pending = true;
        return;
    }
    startRender();
}

void LivePreview::stop()
{
    m_stopped = true;
    m_pending = false;
    m_pool.waitForDone();
    m_running = false;
}

void LivePreview::startRender()
{
    m_running = true;
    m_pending = false;
    ++m_renderCount;
    const QString folder = m_templatesFolder;
    const QString name = m_templateName;
    const QSize size = m_viewSize;
    m_pool.start([this, folder, name, size] {
        CapturedPreview target(size);
        const RenderOutcome outcome = CWatermarkRenderer::RenderWatermark(
            RenderMode::EditorPreview, {}, 0, 0, true, RenderInputs{folder, name, {}, &target, {}});
        // The object outlives this job (stop() waits for it), and a queued
        // call still waiting when it is destroyed is dropped with it.
        QMetaObject::invokeMethod(
            this,
            [this, picture = target.picture, placement = target.placement,
             problem = outcome.error] { renderFinished(picture, placement, problem); },
            Qt::QueuedConnection);
    });
}

void LivePreview::renderFinished(const QImage &picture, const ViewPlacement &placement,
                                 const QString &problem)
{
    if (m_stopped)
        return;
    m_running = false;
    emit pictureReady(picture, placement);
    emit problemChanged(problem);
    if (m_pending)
        startRender();
    else
        emit idle();
}

} // namespace kw
