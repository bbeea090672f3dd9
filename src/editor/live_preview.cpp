#include "editor/live_preview.h"

#include "render/loaded_template.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

using namespace Qt::StringLiterals;

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
    setMinimumSize(kMinimumSize);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setFocusPolicy(Qt::StrongFocus); // the arrow keys reach it by Tab too
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::SizeAllCursor);
    setToolTip(u"Drag the mark to place it; arrow keys move it by a pixel (with Shift, ten)."_s);
}

void PreviewFrame::showPicture(const QImage &picture, const ViewPlacement &placement,
                               QSize photoSize)
{
    m_picture = picture;
    m_placement = placement;
    m_photoSize = photoSize.isEmpty() ? picture.size() : photoSize;
    ++m_shownCount;
    update();
    emit pictureShown();
}

int PreviewFrame::heightForWidth(int width) const
{
    return std::max(kMinimumSize.height(), width * kSize.height() / kSize.width());
}

double PreviewFrame::viewScale() const
{
    return std::min({1.0, double(width()) / kSize.width(), double(height()) / kSize.height()});
}

double PreviewFrame::photoPixelsPerViewPixel() const
{
    const double photoScale =
        m_picture.width() > 0 ? double(m_photoSize.width()) / m_picture.width() : 1.0;
    return photoScale / viewScale();
}

QSize PreviewFrame::photoSize() const
{
    return m_photoSize;
}

void PreviewFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const double scale = viewScale();
    // The kSize view, shrunk when the window is small and centred.
    painter.translate((width() - kSize.width() * scale) / 2,
                      (height() - kSize.height() * scale) / 2);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
    if (m_picture.isNull() || m_placement.eraseBackground)
        painter.fillRect(QRect(QPoint(0, 0), kSize), Qt::white);
    if (!m_picture.isNull())
        painter.drawImage(QRectF(m_placement.destination, m_placement.source.size()), m_picture,
                          m_placement.source);
}

void PreviewFrame::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_picture.isNull())
        return QWidget::mousePressEvent(event);
    m_pressedAt = event->position();
    emit dragStarted();
}

void PreviewFrame::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressedAt)
        return QWidget::mouseMoveEvent(event);
    emit dragMoved((event->position() - *m_pressedAt) * photoPixelsPerViewPixel());
}

void PreviewFrame::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_pressedAt || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    emit dragMoved((event->position() - *m_pressedAt) * photoPixelsPerViewPixel());
    m_pressedAt.reset();
    emit dragFinished();
}

void PreviewFrame::keyPressEvent(QKeyEvent *event)
{
    const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
    QPoint move;
    switch (event->key()) {
    case Qt::Key_Left:
        move = {-step, 0};
        break;
    case Qt::Key_Right:
        move = {step, 0};
        break;
    case Qt::Key_Up:
        move = {0, -step};
        break;
    case Qt::Key_Down:
        move = {0, step};
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    emit nudged(move);
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

void LivePreview::setPhoto(const QString &path, const ResizeRequest &resize)
{
    m_photoPath = path;
    m_resize = resize;
    requestRedraw();
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
    const QString photoPath = m_photoPath;
    const ResizeRequest resize = m_resize;
    const std::shared_ptr<std::optional<PreviewPhoto>> cache = m_photoCache;
    m_pool.start([this, folder, name, size, photoPath, resize, cache] {
        CapturedPreview target(size);
        QSize photoSize;
        QString problem;
        if (photoPath.isEmpty()) {
            problem =
                CWatermarkRenderer::RenderWatermark(RenderMode::EditorPreview, {}, 0, 0, true,
                                                    RenderInputs{folder, name, {}, &target, {}})
                    .error;
        } else {
            problem =
                renderOnPhoto(folder, name, size, photoPath, resize, *cache, target, photoSize);
        }
        // The object outlives this job (stop() waits for it), and a queued
        // call still waiting when it is destroyed is dropped with it.
        QMetaObject::invokeMethod(
            this,
            [this, picture = target.picture, placement = target.placement, photoSize, problem] {
                renderFinished(picture, placement, photoSize, problem);
            },
            Qt::QueuedConnection);
    });
}

QString LivePreview::renderOnPhoto(const QString &folder, const QString &name, QSize view,
                                   const QString &photoPath, const ResizeRequest &resize,
                                   std::optional<PreviewPhoto> &cache, PreviewTarget &target,
                                   QSize &photoSize)
{
    if (!cache || !cache->matches(photoPath, resize)) {
        cache.reset();
        Result<PreviewPhoto> made = MakePreviewPhoto(photoPath, resize, view);
        if (!made) {
            target.showPreview(QImage(), ViewPlacement{{}, {}, true});
            return u"The photo \"%1\" cannot be shown: %2"_s.arg(QFileInfo(photoPath).fileName(),
                                                                 made.error());
        }
        cache = std::move(made).value();
    }
    photoSize = cache->fullSize;
    // As the batch: no picture without its watermark.
    const Result<SharedTemplate> loaded = LoadTemplateForRender(folder, name);
    QImage picture = loaded ? DrawOnPreviewPhoto(*cache, **loaded) : cache->screenCopy;
    ViewPlacement placement = PlaceInView(picture.size(), view, QPoint(0, 0));
    placement.eraseBackground = true;
    target.showPreview(picture, placement);
    return loaded ? QString() : loaded.error();
}

void LivePreview::renderFinished(const QImage &picture, const ViewPlacement &placement,
                                 QSize photoSize, const QString &problem)
{
    if (m_stopped)
        return;
    m_running = false;
    emit pictureReady(picture, placement, photoSize);
    emit problemChanged(problem);
    if (m_pending)
        startRender();
    else
        emit idle();
}

} // namespace kw
