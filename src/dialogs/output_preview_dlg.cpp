#include "dialogs/output_preview_dlg.h"

#include "controls/artwork.h"
#include "controls/skin_button.h"
#include "controls/user_prompts.h"
#include "render/jpeg_keep_original.h"
#include "settings/resize_setting.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QRgb kBandColour = qRgb(75, 75, 75);
constexpr int kLineStep = 2;
// Finished pictures kept for stepping back, counted in pixels (4 bytes each).
constexpr qint64 kKeptPixels = 64'000'000;

// The compositor hands the finished picture back in its outcome; the dialog
// places it itself, so the target only answers the view size.
class PictureCapture final : public PreviewTarget
{
public:
    explicit PictureCapture(QSize view) : m_view(view) {}
    QSize viewSize() const override { return m_view; }
    void showPreview(const QImage &, const ViewPlacement &) override {}

private:
    QSize m_view;
};

} // namespace

QString SourceFileStepper::SelectFirstSourceFile()
{
    QString path = GetCurrentSourceFile();
    for (QString before = SelectPreviousSourceFile(); !before.isEmpty();
         before = SelectPreviousSourceFile())
        path = before;
    return path;
}

QString SourceFileStepper::SelectLastSourceFile()
{
    QString path = GetCurrentSourceFile();
    for (QString after = SelectNextSourceFile(); !after.isEmpty(); after = SelectNextSourceFile())
        path = after;
    return path;
}

// The black-framed view the picture is shown in. It only paints; the dialog
// owns the zoom, the scroll position and the dragging.
//
// Every frame is drawn from the finished picture: at 1:1 a plain copy; above
// it each picture pixel becomes a block of screen pixels; below it the
// visible part is drawn from the nearest halving of the picture (made once
// per picture) with bilinear filtering, so no frame touches more than about
// four times the view's pixels, whatever the photo's size.
class PreviewView : public QFrame
{
public:
    explicit PreviewView(QWidget *parent) : QFrame(parent)
    {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::black);
        setPalette(p);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QSize viewSize() const { return contentsRect().size(); }

    // `zoom` is screen pixels per picture pixel; 0 shows the whole picture
    // shrunk to the view (never enlarged).
    void present(const QImage &picture, QPoint scroll, double zoom, const QString &message)
    {
        if (picture.cacheKey() != m_picture.cacheKey()) {
            m_fitted = QImage();
            m_halvings.clear();
        }
        m_picture = picture;
        m_scroll = scroll;
        m_zoom = zoom;
        m_message = message;
        update();
    }

    // Where the picture's top-left corner is drawn, in view pixels, for
    // `zoom` and `scroll`: centred on an axis where the zoomed picture is
    // smaller than the view, else scrolled.
    static QPointF Origin(QSize picture, QSize view, double zoom, QPoint scroll)
    {
        const double w = picture.width() * zoom, h = picture.height() * zoom;
        return {w < view.width() ? std::floor((view.width() - w) / 2) : -double(scroll.x()),
                h < view.height() ? std::floor((view.height() - h) / 2) : -double(scroll.y())};
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter painter(this);
            const QRect area = contentsRect();
            painter.fillRect(area, Qt::white);
            painter.setClipRect(area);
            if (!m_picture.isNull() && m_zoom <= 0) {
                const QImage &fitted = fittedPicture(area.size());
                painter.drawImage(area.topLeft() + QPoint((area.width() - fitted.width()) / 2,
                                                          (area.height() - fitted.height()) / 2),
                                  fitted);
            } else if (!m_picture.isNull() && m_zoom == 1) {
                const ViewPlacement placement =
                    PlaceInView(m_picture.size(), area.size(), m_scroll);
                painter.drawImage(area.topLeft() + placement.destination, m_picture,
                                  placement.source);
            } else if (!m_picture.isNull()) {
                drawZoomed(painter, area);
            } else if (!m_message.isEmpty()) {
                painter.setPen(QColor(110, 110, 110));
                painter.drawText(area.adjusted(20, 20, -20, -20),
                                 Qt::AlignCenter | Qt::TextWordWrap, m_message);
            }
        }
        QFrame::paintEvent(event); // the frame
    }

private:
    void drawZoomed(QPainter &painter, const QRect &area)
    {
        const QPointF origin = Origin(m_picture.size(), area.size(), m_zoom, m_scroll);
        const QRectF whole(origin, QSizeF(m_picture.size()) * m_zoom);
        const QRectF target = whole.intersected(QRectF(QPointF(0, 0), QSizeF(area.size())));
        if (target.isEmpty())
            return;
        // The same part of the picture, in picture pixels.
        QRectF source((target.topLeft() - origin) / m_zoom, target.size() / m_zoom);
        const QImage *image = &m_picture;
        if (m_zoom < 1) {
            // The halving at or just above the zoom: at most a 2:1 step left
            // to the filter.
            int level = 0;
            double scale = 1;
            while (scale / 2 >= m_zoom && level < 12) {
                scale /= 2;
                ++level;
            }
            image = &halving(level);
            const double sx = double(image->width()) / m_picture.width();
            const double sy = double(image->height()) / m_picture.height();
            source =
                QRectF(source.x() * sx, source.y() * sy, source.width() * sx, source.height() * sy);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        }
        painter.drawImage(target.translated(area.topLeft()), *image, source);
    }

    // The picture halved `level` times, each made once from the one before.
    const QImage &halving(int level)
    {
        if (level == 0)
            return m_picture;
        while (int(m_halvings.size()) < level) {
            const QImage &from = m_halvings.empty() ? m_picture : m_halvings.back();
            const QSize half((from.width() + 1) / 2, (from.height() + 1) / 2);
            m_halvings.push_back(
                from.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        return m_halvings[size_t(level - 1)];
    }

    // The whole picture shrunk to fit `area` (never enlarged), made once per
    // picture and view size.
    const QImage &fittedPicture(QSize area)
    {
        const QSize size = m_picture.size();
        QSize target = size;
        if (size.width() > area.width() || size.height() > area.height())
            target = size.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (m_fitted.isNull() || m_fitted.size() != target) {
            m_fitted = target == size ? m_picture
                                      : m_picture.scaled(target, Qt::IgnoreAspectRatio,
                                                         Qt::SmoothTransformation);
        }
        return m_fitted;
    }

    QImage m_picture;
    QImage m_fitted;
    std::vector<QImage> m_halvings;
    QPoint m_scroll;
    double m_zoom = 1;
    QString m_message;
};

COutputPreviewDlg::COutputPreviewDlg(kw::OutputPreviewInputs inputs, kw::SourceFileStepper &sources,
                                     kw::UserPrompts &prompts, QWidget *parent)
    : QDialog(parent), m_inputs(std::move(inputs)), m_sources(sources), m_prompts(prompts)
{
    setObjectName(u"outputPreviewDialog"_s);
    setWindowTitle(u"Output Preview"_s);
    setFont(QFont(u"Tahoma"_s, 9));
    m_renderPool.setMaxThreadCount(2);

    m_view = new kw::PreviewView(this);
    m_view->setObjectName(u"previewView"_s);
    m_view->installEventFilter(this);
    m_next = new CSkinButton(u">>"_s, this);
    m_next->setObjectName(u"nextButton"_s);
    m_next->setToolTip(u"Next photo"_s);
    m_previous = new CSkinButton(u"<<"_s, this);
    m_previous->setObjectName(u"previousButton"_s);
    m_previous->setToolTip(u"Previous photo"_s);
    m_fit = new CSkinButton(u"Fit"_s, this);
    m_fit->setObjectName(u"fitButton"_s);
    m_fit->setCheckable(true);
    m_fit->setToolTip(u"Show the whole picture in the window (0)"_s);
    m_actualSize = new CSkinButton(u"1:1"_s, this);
    m_actualSize->setObjectName(u"actualSizeButton"_s);
    m_actualSize->setToolTip(u"One picture pixel per screen pixel (1)"_s);
    m_doubleSize = new CSkinButton(u"2:1"_s, this);
    m_doubleSize->setObjectName(u"doubleSizeButton"_s);
    m_doubleSize->setToolTip(u"Two screen pixels per picture pixel (2)"_s);
    m_next->setToolTip(u"Next photo (Page Down)"_s);
    m_previous->setToolTip(u"Previous photo (Page Up)"_s);
    m_zoomLabel = new QLabel(this);
    m_zoomLabel->setObjectName(u"zoomLabel"_s);
    m_zoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_zoomLabel->setToolTip(u"Zoom: Ctrl+wheel or + and -, about the pointer"_s);
    for (CSkinButton *button : {m_previous, m_next, m_fit, m_actualSize, m_doubleSize}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    m_pathLabel = new QLabel(this);
    m_pathLabel->setObjectName(u"pathLabel"_s);
    QPalette labelPalette = m_pathLabel->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    m_pathLabel->setPalette(labelPalette);
    m_pathLabel->setTextFormat(Qt::PlainText);
    // Without a template the picture is the bare photo: say why.
    m_noTemplateNote =
        new QLabel(u"No template is selected: the photo is shown without a watermark."_s, this);
    m_noTemplateNote->setObjectName(u"noTemplateNote"_s);
    m_noTemplateNote->setPalette(labelPalette);
    m_zoomLabel->setPalette(labelPalette);
    m_noTemplateNote->setVisible(m_inputs.templateName.isEmpty());
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_vertical->setObjectName(u"verticalScrollBar"_s);
    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_horizontal->setObjectName(u"horizontalScrollBar"_s);
    for (QScrollBar *bar : {m_horizontal, m_vertical}) {
        bar->setRange(0, 0);
        bar->setSingleStep(kw::kLineStep);
        bar->setPageStep(0); // clicks on the shaft do nothing
        bar->setEnabled(false);
    }

    connect(m_previous, &QPushButton::clicked, this, &COutputPreviewDlg::OnPrevious);
    connect(m_next, &QPushButton::clicked, this, &COutputPreviewDlg::OnNext);
    connect(m_fit, &QPushButton::toggled, this, [this](bool fit) {
        if (!fit)
            m_zoom = 1;
        SetupPreviewScrollBars();
        updateView();
    });
    connect(m_actualSize, &QPushButton::clicked, this, [this] { setZoom(1, viewCentre()); });
    connect(m_doubleSize, &QPushButton::clicked, this, [this] { setZoom(2, viewCentre()); });
    connect(m_horizontal, &QScrollBar::valueChanged, this, [this](int value) {
        m_position.setX(value);
        updateView();
    });
    connect(m_vertical, &QScrollBar::valueChanged, this, [this](int value) {
        m_position.setY(value);
        updateView();
    });

    // Cover the screen's work area; the window manager keeps the frame in it.
    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->availableGeometry());
    setMinimumSize(640, 480);
    setWindowState(windowState() | Qt::WindowMaximized);
    layoutControls();

    showPhoto(m_sources.GetCurrentSourceFile());
}

COutputPreviewDlg::~COutputPreviewDlg()
{
    // A render in progress posts back to this dialog: let it finish first.
    m_renderPool.clear();
    m_renderPool.waitForDone();
}

bool COutputPreviewDlg::isFitToView() const
{
    return m_fit->isChecked();
}

void COutputPreviewDlg::setFitToView(bool fit)
{
    m_fit->setChecked(fit);
}

void COutputPreviewDlg::layoutControls()
{
    const int w = width(), h = height();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_vertical);
    const QSize button(80, 24);
    m_next->setGeometry(QRect(QPoint(w - 100, 10), button));
    m_previous->setGeometry(QRect(QPoint(w - 190, 10), button));
    m_fit->setGeometry(QRect(QPoint(w - 280, 10), button));
    const QSize small(50, 24);
    m_doubleSize->setGeometry(QRect(QPoint(w - 340, 10), small));
    m_actualSize->setGeometry(QRect(QPoint(w - 400, 10), small));
    m_zoomLabel->setGeometry(w - 470, 10, 60, button.height());
    m_noTemplateNote->setGeometry(10, 10, std::max(0, w - 490), button.height());
    const int labelHeight = std::min(18, QFontMetrics(m_pathLabel->font()).height() + 2);
    m_pathLabel->setGeometry(4, h - 20, std::max(0, w - 8), labelHeight);
    m_vertical->setGeometry(w - bar - 2, 40, bar, std::max(0, h - 65));
    m_horizontal->setGeometry(2, h - 43, std::max(0, w - bar - 4), bar);
    m_view->setGeometry(2, 39, std::max(0, w - bar - 4), std::max(0, h - 87));

    const QFontMetrics metrics(m_pathLabel->font());
    m_pathLabel->setText(metrics.elidedText(QDir::toNativeSeparators(m_path), Qt::ElideMiddle,
                                            m_pathLabel->width()));
}

void COutputPreviewDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutControls();
    // Keep the part in view where it is as far as the new size allows.
    const QPoint keep = m_position;
    SetupPreviewScrollBars();
    m_horizontal->setValue(keep.x());
    m_vertical->setValue(keep.y());
}

void COutputPreviewDlg::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect view = m_view->geometry();
    // The band of the buttons and the band of the path label.
    painter.fillRect(QRect(0, 0, width(), view.top() - 1), QColor(kw::kBandColour));
    const int labelBand = view.bottom() + 1 + 22;
    painter.fillRect(QRect(0, labelBand, width(), height() - labelBand), QColor(kw::kBandColour));
}

QString COutputPreviewDlg::cacheKey(const QString &path, const kw::ResizeRequest &resize) const
{
    const QFileInfo info(path);
    return u"%1|%2|%3|%4|%5,%6,%7,%8|%9|%10"_s.arg(
               path, QString::number(info.size()),
               QString::number(info.lastModified().toMSecsSinceEpoch()),
               info.exists() ? u"1"_s : u"0"_s, QString::number(resize.resize),
               QString::number(resize.scaleType), QString::number(resize.targetWidth),
               QString::number(resize.targetHeight), m_inputs.templatesFolder,
               m_inputs.templateName) +
           u"|%1,%2"_s.arg(resize.targetLongEdge ? QString::number(*resize.targetLongEdge)
                                                 : QString(),
                           QString::number(resize.neverEnlarge));
}

void COutputPreviewDlg::showPhoto(const QString &path)
{
    m_path = path;
    m_pathLabel->setToolTip(QDir::toNativeSeparators(path));
    layoutControls(); // the label's text
    ++m_generation;
    m_renderPool.clear(); // renders that have not started are no longer wanted

    if (path.isEmpty()) {
        m_rendering = false;
        setPicture({}, {});
        return;
    }

    kw::CResizeSetting setting;
    setting.resizeJustThisTime = m_inputs.resizeJustThisTime;
    (void)kw::LoadResizeSetting(m_inputs.dataFolder, setting); // a missing file: the defaults
    const kw::ResizeRequest resize = kw::ResizeRequestFrom(setting);
    // In the "keep the original JPEG" mode the preview shows that file.
    kw::CPreferences prefs;
    (void)kw::LoadPreferences(m_inputs.dataFolder, prefs); // unreadable: the usual output
    const bool keepJpeg = kw::KeepOriginalJpegApplies(path, prefs, resize.resize);
    const bool smallest = prefs.jpegOutput.optimizedHuffman;
    // The counter variable follows the photo's row.
    const int position = m_sources.CurrentSourcePosition();
    const QString key = cacheKey(path, resize) + (keepJpeg ? u"|kept"_s : QString()) + u"|"_s +
                        QString::number(position);

    for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
        if (it->key == key) {
            m_kept.splice(m_kept.begin(), m_kept, it);
            m_rendering = false;
            setPicture(m_kept.front().picture, m_kept.front().error);
            emit pictureReady();
            return;
        }
    }

    m_rendering = true;
    setPicture({}, {});
    ++m_renderCount;
    const quint64 generation = m_generation;
    const kw::RenderInputs inputs{
        m_inputs.templatesFolder, m_inputs.templateName, resize, nullptr, {}, position};
    const QSize view = m_view->viewSize();
    m_renderPool.start([this, generation, key, path, inputs, view, keepJpeg, smallest, position] {
        auto outcome = std::make_shared<kw::RenderOutcome>();
        kw::RenderInputs withTarget = inputs;
        kw::Result<QImage> kept = kw::Failure{QString()};
        if (keepJpeg) {
            // Read afresh, as every preview does; a template that cannot be
            // read leaves the reason to the usual render below.
            kw::Result<kw::SharedTemplate> mark =
                kw::LoadTemplateForRender(inputs.templatesFolder, inputs.templateName);
            if (mark) {
                withTarget.loadedTemplate = std::move(mark).value();
                kept = kw::RenderKeepingOriginalJpeg(path, *withTarget.loadedTemplate, smallest,
                                                     position);
            }
        }
        if (kept) {
            outcome->picture = std::move(kept).value();
        } else {
            kw::PictureCapture capture(view);
            withTarget.previewTarget = &capture;
            *outcome = kw::CWatermarkRenderer::RenderWatermark(kw::RenderMode::OutputPreview, path,
                                                               0, 0, true, withTarget);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, key, outcome] { onRendered(generation, key, *outcome); },
            Qt::QueuedConnection);
    });
}

void COutputPreviewDlg::onRendered(quint64 generation, const QString &key,
                                   const kw::RenderOutcome &outcome)
{
    QString error = outcome.error;
    if (outcome.picture.isNull() && error.isEmpty())
        error = u"The photo could not be shown."_s;
    // A stale result is still a finished picture: keep it for stepping back.
    m_kept.push_front({key, outcome.picture, error});
    qint64 pixels = 0;
    for (auto it = m_kept.begin(); it != m_kept.end();) {
        pixels += qint64(it->picture.width()) * it->picture.height();
        if (it != m_kept.begin() && pixels > kw::kKeptPixels)
            it = m_kept.erase(it);
        else
            ++it;
    }
    if (generation != m_generation)
        return;
    m_rendering = false;
    setPicture(outcome.picture, error);
    emit pictureReady();
}

void COutputPreviewDlg::setPicture(const QImage &picture, const QString &error)
{
    m_picture = picture;
    m_renderError = error;
    SetupPreviewScrollBars();
    updateView();
}

void COutputPreviewDlg::SetupPreviewScrollBars()
{
    // Ranges follow the picture as shown, so a photo turned upright scrolls
    // over its whole upright size.
    setScrollRanges(QPoint(0, 0));
}

QSize COutputPreviewDlg::zoomedSize() const
{
    if (m_picture.isNull() || isFitToView())
        return {};
    return (QSizeF(m_picture.size()) * m_zoom).toSize();
}

void COutputPreviewDlg::setScrollRanges(QPoint position)
{
    const QSize view = m_view->viewSize();
    const QSize shown = zoomedSize();
    const int maxX = std::max(0, shown.width() - view.width());
    const int maxY = std::max(0, shown.height() - view.height());
    const QSignalBlocker blockH(m_horizontal), blockV(m_vertical);
    m_horizontal->setRange(0, maxX);
    m_vertical->setRange(0, maxY);
    m_horizontal->setValue(std::clamp(position.x(), 0, maxX));
    m_vertical->setValue(std::clamp(position.y(), 0, maxY));
    m_horizontal->setEnabled(maxX > 0);
    m_vertical->setEnabled(maxY > 0);
    m_position = QPoint(m_horizontal->value(), m_vertical->value());
    const bool canPan = maxX > 0 || maxY > 0;
    m_view->setCursor(canPan ? kw::BuiltInCursor(kw::kCurPan) : QCursor(Qt::ArrowCursor));
}

void COutputPreviewDlg::updateView()
{
    QString message;
    if (m_rendering)
        message = u"Rendering\u2026"_s;
    else if (!m_renderError.isEmpty())
        message = m_renderError;
    m_view->present(m_picture, m_position, isFitToView() ? 0.0 : m_zoom, message);
    const double shown = zoom();
    m_zoomLabel->setText(m_picture.isNull() ? QString() : u"%1 %"_s.arg(std::lround(shown * 100)));
}

double COutputPreviewDlg::zoom() const
{
    if (!isFitToView() || m_picture.isNull())
        return m_zoom;
    const QSize view = m_view->viewSize();
    return std::min({1.0, double(view.width()) / m_picture.width(),
                     double(view.height()) / m_picture.height()});
}

QPoint COutputPreviewDlg::viewCentre() const
{
    const QSize view = m_view->viewSize();
    return {view.width() / 2, view.height() / 2};
}

QPointF COutputPreviewDlg::pictureAt(QPoint viewPoint) const
{
    if (m_picture.isNull())
        return {};
    const double z = zoom();
    const QPointF origin = PreviewView::Origin(m_picture.size(), m_view->viewSize(), z,
                                               isFitToView() ? QPoint() : m_position);
    return (QPointF(viewPoint) - origin) / z;
}

void COutputPreviewDlg::setZoom(double zoom, QPoint anchor)
{
    if (m_picture.isNull())
        return;
    zoom = std::clamp(zoom, kZoomSteps.front(), kZoomSteps.back());
    // The picture point under the anchor stays under it.
    const QPointF point = pictureAt(anchor);
    {
        const QSignalBlocker block(m_fit);
        m_fit->setChecked(false);
    }
    m_zoom = zoom;
    const QSize view = m_view->viewSize();
    const QPointF centred = PreviewView::Origin(m_picture.size(), view, zoom, QPoint());
    // Where the point lands with no scrolling, and how far to scroll to
    // bring it under the anchor (the range limits win at the edges).
    const QPointF unscrolled = centred + point * zoom;
    const QPoint scroll((unscrolled - QPointF(anchor)).toPoint());
    setScrollRanges(scroll);
    updateView();
}

void COutputPreviewDlg::zoomBy(int steps, QPoint anchor)
{
    const double now = zoom();
    double next = now;
    if (steps > 0) {
        const auto up = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), now * 1.001);
        next = up == kZoomSteps.end() ? kZoomSteps.back() : *up;
    } else if (steps < 0) {
        const auto down = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), now * 0.999);
        next = down == kZoomSteps.begin() ? kZoomSteps.front() : *std::prev(down);
    }
    if (next != now || isFitToView())
        setZoom(next, anchor);
}

void COutputPreviewDlg::panBy(QPoint delta)
{
    m_horizontal->setValue(std::clamp(m_position.x() + delta.x(), 0, m_horizontal->maximum()));
    m_vertical->setValue(std::clamp(m_position.y() + delta.y(), 0, m_vertical->maximum()));
}

void COutputPreviewDlg::OnFirst()
{
    const QString path = m_sources.SelectFirstSourceFile();
    if (!path.isEmpty() && path != m_path)
        showPhoto(path);
}

void COutputPreviewDlg::OnLast()
{
    const QString path = m_sources.SelectLastSourceFile();
    if (!path.isEmpty() && path != m_path)
        showPhoto(path);
}

void COutputPreviewDlg::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const QSize view = m_view->viewSize();
    const int stepX = std::max(8, view.width() / 10), stepY = std::max(8, view.height() / 10);
    const bool stepKey = mods & (Qt::ControlModifier | Qt::AltModifier);
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(+1, viewCentre());
        return;
    case Qt::Key_Minus:
        zoomBy(-1, viewCentre());
        return;
    case Qt::Key_0:
        setFitToView(true);
        return;
    case Qt::Key_1:
        setZoom(1, viewCentre());
        return;
    case Qt::Key_2:
        setZoom(2, viewCentre());
        return;
    case Qt::Key_Left:
        if (stepKey)
            OnPrevious();
        else
            panBy({-stepX, 0});
        return;
    case Qt::Key_Right:
        if (stepKey)
            OnNext();
        else
            panBy({stepX, 0});
        return;
    case Qt::Key_Up:
        panBy({0, -stepY});
        return;
    case Qt::Key_Down:
        panBy({0, stepY});
        return;
    case Qt::Key_PageUp:
        OnPrevious();
        return;
    case Qt::Key_PageDown:
        OnNext();
        return;
    case Qt::Key_Home:
        OnFirst();
        return;
    case Qt::Key_End:
        OnLast();
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

bool COutputPreviewDlg::eventFilter(QObject *watched, QEvent *event)
{
    // The view's wheel is the dialog's.
    if (watched == m_view && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        onWheel(wheel, wheel->position().toPoint() - m_view->contentsRect().topLeft());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void COutputPreviewDlg::wheelEvent(QWheelEvent *event)
{
    onWheel(event,
            m_view->mapFrom(this, event->position().toPoint()) - m_view->contentsRect().topLeft());
}

void COutputPreviewDlg::onWheel(QWheelEvent *event, QPoint inView)
{
    const QPoint degrees = event->angleDelta() / 8;
    if (event->modifiers() & Qt::ControlModifier) {
        m_wheelDegrees += degrees.y();
        // One zoom step per notch (15 degrees); finer wheels add up.
        while (std::abs(m_wheelDegrees) >= 15) {
            const int step = m_wheelDegrees > 0 ? 1 : -1;
            m_wheelDegrees -= step * 15;
            zoomBy(step, inView);
        }
        event->accept();
        return;
    }
    // The wheel pans: down the picture, or across it with Shift.
    const int lines = QApplication::wheelScrollLines() * 20;
    const QPoint pan = event->modifiers() & Qt::ShiftModifier
                           ? QPoint(-degrees.y() * lines / 15, 0)
                           : QPoint(-degrees.x() * lines / 15, -degrees.y() * lines / 15);
    panBy(pan);
    event->accept();
}

void COutputPreviewDlg::OnPrevious()
{
    const QString path = m_sources.SelectPreviousSourceFile();
    if (path.isEmpty()) {
        m_prompts.message(this, u"This is the first one."_s, kw::MessageIcon::Information);
        return;
    }
    showPhoto(path);
}

void COutputPreviewDlg::OnNext()
{
    const QString path = m_sources.SelectNextSourceFile();
    if (path.isEmpty()) {
        m_prompts.message(this, u"This is the last one."_s, kw::MessageIcon::Information);
        return;
    }
    showPhoto(path);
}

void COutputPreviewDlg::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_lastDragPoint = event->position().toPoint();
    if (m_horizontal->maximum() > 0 || m_vertical->maximum() > 0)
        m_view->setCursor(kw::BuiltInCursor(kw::kCurPanDrag));
}

void COutputPreviewDlg::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    // The picture follows the pointer.
    const QPoint point = event->position().toPoint();
    const QPoint delta = point - m_lastDragPoint;
    m_horizontal->setValue(std::clamp(m_position.x() - delta.x(), 0, m_horizontal->maximum()));
    m_vertical->setValue(std::clamp(m_position.y() - delta.y(), 0, m_vertical->maximum()));
    m_lastDragPoint = point;
}

void COutputPreviewDlg::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    if (m_horizontal->maximum() > 0 || m_vertical->maximum() > 0)
        m_view->setCursor(kw::BuiltInCursor(kw::kCurPan));
}

} // namespace kw
