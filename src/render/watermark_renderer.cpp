#include "render/watermark_renderer.h"

#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kw {

ViewPlacement PlaceInView(QSize picture, QSize view, QPoint scroll)
{
    const int cw = view.width(), ch = view.height();
    const int rw = picture.width(), rh = picture.height();
    ViewPlacement placement;
    const bool wider = cw > rw;
    const bool taller = ch > rh;
    if (wider && taller) {
        placement.destination = QPoint(cw / 2 - rw / 2, ch / 2 - rh / 2);
        placement.source = QRect(0, 0, rw, rh);
    } else if (wider) {
        placement.destination = QPoint(cw / 2 - rw / 2, 0);
        placement.source = QRect(scroll.x(), scroll.y(), rw, ch);
    } else if (taller) {
        placement.destination = QPoint(0, ch / 2 - rh / 2);
        placement.source = QRect(scroll.x(), scroll.y(), cw, rh);
    } else {
        placement.destination = QPoint(0, 0);
        placement.source = QRect(scroll.x(), scroll.y(), std::min(cw, rw), std::min(ch, rh));
    }
    return placement;
}

QImage SamplePhoto()
{
    // Decoded once: every editor keystroke draws on a fresh copy, and the copy
    // (made when the caller first paints on it) is far cheaper than a decode.
    static const QImage decoded = QImage(QStringLiteral(":/kelvane/sample-photo-677x625.jpg"))
                                      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return decoded;
}

namespace {

// Exact halves of the canvas, integer halves of the picture.
QPointF imageAnchor(int location, int canvasWidth, int canvasHeight, QSize picture)
{
    return LocationAnchor(location, canvasWidth * 0.5 - picture.width() / 2,
                          canvasHeight * 0.5 - picture.height() / 2, canvasWidth - picture.width(),
                          canvasHeight - picture.height());
}

} // namespace

void CWatermarkRenderer::DrawImageLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                                        const CWatermarkConf &layer, const LayerPicture &picture)
{
    if (picture.isNull())
        return;
    const QPointF corner =
        imageAnchor(layer.ImageLocation, canvasWidth, canvasHeight, picture.size()) +
        QPointF(layer.ImageOffsetH, layer.ImageOffsetV);
    // Made at the size it is drawn (an SVG rendered, a raster picture
    // filtered), so the painter only places and turns it.
    const QImage image = picture.imageAt(picture.size());
    if (image.isNull())
        return;

    painter.save();
    painter.translate(corner);
    painter.rotate(-qreal(layer.ImageRotation));
    painter.translate(-corner);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A turned picture's edges are blended by coverage instead of stepping
    // from pixel to pixel; an unturned one covers whole pixels either way.
    if (painter.worldTransform().type() > QTransform::TxTranslate)
        painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(std::clamp(layer.ImageTransparency * 0.01, 0.0, 1.0));
    painter.drawImage(QRect(int(std::trunc(corner.x())), int(std::trunc(corner.y())), image.width(),
                            image.height()),
                      image, image.rect());
    painter.restore();
}

void CWatermarkRenderer::DrawTemplate(QImage &canvas, int canvasWidth, int canvasHeight,
                                      const LoadedTemplate &loaded, const QString &sourcePath)
{
    if (loaded.layers.empty())
        return;
    const auto drawLayers = [&](QPainter &painter) {
        for (const LoadedLayer &layer : loaded.layers) {
            CTextEffectRenderer::DrawTextLayer(painter, canvasWidth, canvasHeight, layer.conf);
            DrawImageLayer(painter, canvasWidth, canvasHeight, layer.conf, layer.picture);
        }
    };
    if (DrawLayersResistingRemoval(canvas, loaded, sourcePath, drawLayers))
        return;
    QPainter painter(&canvas);
    drawLayers(painter);
}

bool CWatermarkRenderer::DrawLayersResistingRemoval(
    QImage &canvas, const LoadedTemplate &loaded, const QString &sourcePath,
    const std::function<void(QPainter &)> &drawLayers)
{
    if (!loaded.markWarp.enabled)
        return false;
    std::vector<CWatermarkConf> layers;
    layers.reserve(loaded.layers.size());
    for (const LoadedLayer &layer : loaded.layers)
        layers.push_back(layer.conf);
    DrawWarpedMark(canvas, loaded.markWarp, MarkWarpSeedForRender(sourcePath, layers), drawLayers);
    return true;
}

RenderOutcome CWatermarkRenderer::RenderWatermark(RenderMode mode, const QString &sourcePath,
                                                  int scrollX, int scrollY, bool eraseBackground,
                                                  const RenderInputs &inputs)
{
    RenderOutcome outcome;
    const bool preview = mode != RenderMode::BatchOutput;
    if (preview && !inputs.previewTarget) {
        outcome.status = -1;
        return outcome;
    }

    // The template first: a photo is never made without its watermark. A
    // preview without a selected template shows the bare photo.
    SharedTemplate loaded = inputs.loadedTemplate;
    if (!loaded && !(preview && inputs.templateName.isEmpty())) {
        Result<SharedTemplate> read =
            LoadTemplateForRender(inputs.templatesFolder, inputs.templateName);
        if (read)
            loaded = std::move(read).value();
        else
            outcome.error = read.error();
    }

    if (mode == RenderMode::EditorPreview) {
        const QSize view = inputs.previewTarget->viewSize();
        outcome.picture = SamplePhoto();
        if (loaded)
            DrawTemplate(outcome.picture, view.width(), view.height(), *loaded);
        outcome.placement.source = outcome.picture.rect();
        inputs.previewTarget->showPreview(outcome.picture, outcome.placement);
        return outcome;
    }

    if (outcome.error.isEmpty()) {
        PhotoLoadOptions options;
        options.resize = inputs.resize;
        options.keepMetadata = mode == RenderMode::BatchOutput;
        Result<DecodedPhoto> photo = LoadPhoto(sourcePath, options);
        if (photo) {
            outcome.picture = std::move(photo->image);
            outcome.photo = std::move(photo).value();
            outcome.photo.image = QImage();
            if (loaded)
                DrawTemplate(outcome.picture, outcome.picture.width(), outcome.picture.height(),
                             *loaded, sourcePath);
        } else {
            outcome.error = photo.error();
        }
    }

    if (mode == RenderMode::OutputPreview) {
        outcome.placement = PlaceInView(outcome.picture.size(), inputs.previewTarget->viewSize(),
                                        QPoint(std::max(0, scrollX), std::max(0, scrollY)));
        outcome.placement.eraseBackground = eraseBackground;
        inputs.previewTarget->showPreview(outcome.picture, outcome.placement);
    }
    return outcome;
}

} // namespace kw
