#include "render/watermark_renderer.h"

#include "model/layer_file.h"
#include "model/template_file.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"

#include <QFile>
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

} // namespace kw

namespace {

// Exact halves of the canvas, integer halves of the picture.
QPointF imageAnchor(int location, int canvasWidth, int canvasHeight, QSize picture)
{
    return kw::LocationAnchor(location, canvasWidth * 0.5 - picture.width() / 2,
                              canvasHeight * 0.5 - picture.height() / 2,
                              canvasWidth - picture.width(), canvasHeight - picture.height());
}

} // namespace

void CWatermarkRenderer::DrawImageLayer(QPainter &painter, int canvasWidth, int canvasHeight,
                                        const CWatermarkConf &layer)
{
    if (layer.ImagePathName.isEmpty())
        return;
    kw::PhotoLoadOptions options;
    options.orient = false;
    options.keepMetadata = false;
    const kw::PhotoLoadResult loaded = kw::LoadPhoto(layer.ImagePathName, options);
    if (!loaded)
        return; // a missing or unreadable picture draws nothing
    const QImage &picture = loaded.photo.image;
    const QPointF corner =
        imageAnchor(layer.ImageLocation, canvasWidth, canvasHeight, picture.size()) +
        QPointF(layer.ImageOffsetH, layer.ImageOffsetV);

    painter.save();
    painter.translate(corner);
    painter.rotate(-qreal(layer.ImageRotation));
    painter.translate(-corner);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(std::clamp(layer.ImageTransparency * 0.01, 0.0, 1.0));
    painter.drawImage(QRect(int(std::trunc(corner.x())), int(std::trunc(corner.y())),
                            picture.width(), picture.height()),
                      picture, picture.rect());
    painter.restore();
}

void CWatermarkRenderer::DrawTemplate(QImage &canvas, int canvasWidth, int canvasHeight,
                                      const QString &templatesFolder, const QString &templateName,
                                      const QString &sourcePath)
{
    if (templateName.isEmpty())
        return;
    const QStringList layerNames = kw::ReadTemplateLayers(templatesFolder, templateName);
    if (layerNames.isEmpty())
        return;
    std::vector<CWatermarkConf> layers;
    for (const QString &layerName : layerNames) {
        // Each layer starts from the new-layer values, so what is drawn never
        // depends on the layer drawn before it.
        CWatermarkConf layer;
        if (kw::LoadLayerOverDefaults(templatesFolder, layerName, layer))
            layers.push_back(std::move(layer));
    }
    const auto drawLayers = [&](QPainter &painter) {
        for (const CWatermarkConf &layer : layers) {
            CTextEffectRenderer::DrawTextLayer(painter, canvasWidth, canvasHeight, layer);
            DrawImageLayer(painter, canvasWidth, canvasHeight, layer);
        }
    };
    if (DrawLayersResistingRemoval(canvas, templatesFolder, templateName, sourcePath, layers,
                                   drawLayers))
        return;
    QPainter painter(&canvas);
    drawLayers(painter);
}

bool CWatermarkRenderer::DrawLayersResistingRemoval(
    QImage &canvas, const QString &templatesFolder, const QString &templateName,
    const QString &sourcePath, std::span<const CWatermarkConf> layers,
    const std::function<void(QPainter &)> &drawLayers)
{
    const kw::Result<kw::MarkWarpSetting> setting =
        kw::ReadMarkWarpSetting(templatesFolder, templateName);
    if (!setting || !setting->enabled)
        return false;
    kw::DrawWarpedMark(canvas, *setting, kw::MarkWarpSeedForRender(sourcePath, layers), drawLayers);
    return true;
}

kw::RenderOutcome CWatermarkRenderer::RenderWatermark(kw::RenderMode mode,
                                                      const QString &sourcePath, int scrollX,
                                                      int scrollY, bool eraseBackground,
                                                      const kw::RenderInputs &inputs)
{
    kw::RenderOutcome outcome;
    const bool preview = mode != kw::RenderMode::BatchOutput;
    if (preview && !inputs.previewTarget) {
        outcome.status = -1;
        return outcome;
    }

    if (mode == kw::RenderMode::EditorPreview) {
        const QSize view = inputs.previewTarget->viewSize();
        outcome.picture = kw::SamplePhoto();
        DrawTemplate(outcome.picture, view.width(), view.height(), inputs.templatesFolder,
                     inputs.templateName);
        outcome.placement.source = outcome.picture.rect();
        inputs.previewTarget->showPreview(outcome.picture, outcome.placement);
        return outcome;
    }

    kw::PhotoLoadOptions options;
    options.resize = inputs.resize;
    options.keepMetadata = mode == kw::RenderMode::BatchOutput;
    kw::PhotoLoadResult loaded = kw::LoadPhoto(sourcePath, options);
    if (loaded) {
        outcome.picture = std::move(loaded.photo.image);
        outcome.photo = std::move(loaded.photo);
        outcome.photo.image = QImage();
        DrawTemplate(outcome.picture, outcome.picture.width(), outcome.picture.height(),
                     inputs.templatesFolder, inputs.templateName, sourcePath);
    } else {
        outcome.error = loaded.error;
    }

    if (mode == kw::RenderMode::OutputPreview) {
        outcome.placement =
            kw::PlaceInView(outcome.picture.size(), inputs.previewTarget->viewSize(),
                            QPoint(std::max(0, scrollX), std::max(0, scrollY)));
        outcome.placement.eraseBackground = eraseBackground;
        inputs.previewTarget->showPreview(outcome.picture, outcome.placement);
    }
    return outcome;
}
