#include "render/watermark_renderer.h"

#include "render/mark_colours.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"
#include "render/text_variables.h"

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

QSizeF PictureDrawSize(const CWatermarkConf &layer, QSize natural, int canvasWidth,
                       int canvasHeight)
{
    if (natural.isEmpty())
        return {0, 0};
    const qreal aspect = qreal(natural.height()) / natural.width();
    if (layer.ImageRelativeWidth > 0) {
        const qreal shorter = std::max(0, std::min(canvasWidth, canvasHeight));
        const qreal width = layer.ImageRelativeWidth * shorter / 10000.0;
        const qreal height = layer.ImageRelativeHeight > 0
                                 ? layer.ImageRelativeHeight * shorter / 10000.0
                                 : width * aspect;
        return {width, height};
    }
    const int width = std::clamp(layer.ImageDrawWidth, 0, kMaxDrawnPictureSide);
    const int height = std::clamp(layer.ImageDrawHeight, 0, kMaxDrawnPictureSide);
    if (width == 0 && height == 0)
        return QSizeF(natural);
    if (height == 0)
        return {qreal(width), std::max<qreal>(1, std::round(width * aspect))};
    if (width == 0)
        return {std::max<qreal>(1, std::round(height / aspect)), qreal(height)};
    return {qreal(width), qreal(height)};
}

void CWatermarkRenderer::DrawImageLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                                        const CWatermarkConf &layer, const LayerPicture &picture)
{
    if (picture.isNull())
        return;
    const QSizeF size = PictureDrawSize(layer, picture.size(), canvasWidth, canvasHeight);
    if (!(size.width() > 0 && size.height() > 0))
        return;
    const bool relative = layer.ImageRelativeWidth > 0;
    const QPointF offset = relative ? QPointF(layer.ImageRelativeOffsetH * canvasWidth / 10000.0,
                                              layer.ImageRelativeOffsetV * canvasHeight / 10000.0)
                                    : QPointF(layer.ImageOffsetH, layer.ImageOffsetV);
    // The picture turns about `pivot`: its top-left corner, or its centre
    // when its turned bounding box is anchored like an unturned box.
    QPointF corner, pivot;
    if (layer.ImageTurnAboutAnchor) {
        QTransform turn;
        turn.rotate(-qreal(layer.ImageRotation));
        const QSizeF turned = turn.mapRect(QRectF(QPointF(0, 0), size)).size();
        pivot = LocationAnchor(layer.ImageLocation, canvasWidth / 2.0 - turned.width() / 2,
                               canvasHeight / 2.0 - turned.height() / 2,
                               canvasWidth - turned.width(), canvasHeight - turned.height()) +
                QPointF(turned.width() / 2, turned.height() / 2) + offset;
        corner = pivot - QPointF(size.width() / 2, size.height() / 2);
    } else if (relative) {
        corner = LocationAnchor(layer.ImageLocation, canvasWidth / 2.0 - size.width() / 2,
                                canvasHeight / 2.0 - size.height() / 2, canvasWidth - size.width(),
                                canvasHeight - size.height()) +
                 offset;
        pivot = corner;
    } else {
        corner =
            imageAnchor(layer.ImageLocation, canvasWidth, canvasHeight, size.toSize()) + offset;
        pivot = corner;
    }
    // Pixel layers land on whole pixels, as they always have.
    const bool wholePixels = !relative && !layer.ImageTurnAboutAnchor;
    // Made at the size it is drawn (an SVG rendered, a raster picture
    // filtered), so the painter only places and turns it.
    const QSize pixels = wholePixels ? QSize(int(size.width()), int(size.height()))
                                     : QSize(qRound(size.width()), qRound(size.height()));
    const QImage image = picture.imageAt(pixels.expandedTo(QSize(1, 1)));
    if (image.isNull())
        return;

    painter.save();
    painter.translate(pivot);
    painter.rotate(-qreal(layer.ImageRotation));
    painter.translate(-pivot);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A turned picture's edges are blended by coverage instead of stepping
    // from pixel to pixel; an unturned one covers whole pixels either way.
    if (painter.worldTransform().type() > QTransform::TxTranslate)
        painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(std::clamp(layer.ImageTransparency * 0.01, 0.0, 1.0));
    if (wholePixels)
        painter.drawImage(QRect(int(std::trunc(corner.x())), int(std::trunc(corner.y())),
                                image.width(), image.height()),
                          image, image.rect());
    else
        painter.drawImage(QRectF(corner, size), image, QRectF(image.rect()));
    painter.restore();
}

bool CWatermarkRenderer::UsesTextVariables(const LoadedTemplate &loaded)
{
    if (HasTextVariables(loaded.outputMetadata.artist) ||
        HasTextVariables(loaded.outputMetadata.copyright))
        return true;
    return std::any_of(loaded.layers.begin(), loaded.layers.end(), [](const LoadedLayer &layer) {
        return HasTextVariables(layer.conf.textContent);
    });
}

void CWatermarkRenderer::DrawTemplate(QImage &canvas, int canvasWidth, int canvasHeight,
                                      const LoadedTemplate &loaded, const QString &sourcePath,
                                      const PhotoFacts *facts)
{
    if (loaded.layers.empty())
        return;
    // The records as drawn on this photo: text variables filled in, colours
    // in the photo's profile.
    std::vector<CWatermarkConf> drawn;
    drawn.reserve(loaded.layers.size());
    for (const LoadedLayer &layer : loaded.layers) {
        drawn.push_back(layer.conf);
        if (facts && HasTextVariables(layer.conf.textContent))
            drawn.back().textContent = ExpandTextVariables(layer.conf.textContent, *facts);
    }
    ConvertMarkColours(drawn, canvas.colorSpace());
    const auto drawLayers = [&](QPainter &painter) {
        for (size_t i = 0; i < drawn.size(); ++i) {
            CTextEffectRenderer::DrawTextLayer(painter, canvasWidth, canvasHeight, drawn[i]);
            DrawImageLayer(painter, canvasWidth, canvasHeight, drawn[i], loaded.layers[i].picture);
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
        const PhotoFacts facts = SamplePhotoFacts(outcome.picture.size());
        if (loaded)
            DrawTemplate(outcome.picture, view.width(), view.height(), *loaded, QString(), &facts);
        outcome.placement.source = outcome.picture.rect();
        inputs.previewTarget->showPreview(outcome.picture, outcome.placement);
        return outcome;
    }

    if (outcome.error.isEmpty()) {
        PhotoLoadOptions options;
        options.resize = inputs.resize;
        options.keepMetadata = mode == RenderMode::BatchOutput;
        options.textFacts = loaded && UsesTextVariables(*loaded);
        Result<DecodedPhoto> photo = LoadPhoto(sourcePath, options);
        if (photo) {
            outcome.picture = std::move(photo->image);
            outcome.photo = std::move(photo).value();
            outcome.photo.image = QImage();
            PhotoFacts &facts = outcome.photo.facts;
            facts.counter = inputs.listPosition >= 0 ? inputs.listPosition + 1 : 0;
            facts.size = outcome.picture.size();
            if (loaded)
                DrawTemplate(outcome.picture, outcome.picture.width(), outcome.picture.height(),
                             *loaded, sourcePath, &facts);
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
