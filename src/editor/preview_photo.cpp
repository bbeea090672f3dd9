#include "editor/preview_photo.h"

#include "render/photo_input.h"
#include "render/text_effect_renderer.h"
#include "render/watermark_renderer.h"
#include "settings/resize_setting.h"

#include <QPainter>

#include <algorithm>

namespace kw {

double PreviewPhoto::scale() const
{
    return screenCopy.width() > 0 ? double(fullSize.width()) / screenCopy.width() : 1.0;
}

bool PreviewPhoto::matches(const QString &otherPath, const ResizeRequest &otherResize) const
{
    return path == otherPath && resize.resize == otherResize.resize &&
           resize.scaleType == otherResize.scaleType &&
           resize.targetWidth == otherResize.targetWidth &&
           resize.targetHeight == otherResize.targetHeight;
}

ResizeRequest CurrentResizeRequest(const QString &dataFolder, bool resizeJustThisTime)
{
    CResizeSetting setting;
    setting.resizeJustThisTime = resizeJustThisTime;
    (void)LoadResizeSetting(dataFolder, setting); // a missing file: the defaults
    return {setting.resizeRequested(), setting.scaleType, setting.targetWidth,
            setting.targetHeight};
}

Result<PreviewPhoto> MakePreviewPhoto(const QString &path, const ResizeRequest &resize, QSize view)
{
    PhotoLoadOptions options;
    options.resize = resize;
    options.keepMetadata = false;
    Result<DecodedPhoto> decoded = LoadPhoto(path, options);
    if (!decoded)
        return Failure{decoded.error()};
    QImage full = std::move(decoded->image);
    PreviewPhoto photo;
    photo.path = path;
    photo.resize = resize;
    photo.fullSize = full.size();
    // A photo smaller than the view is shown as it is.
    const bool fits = full.width() <= view.width() && full.height() <= view.height();
    if (!fits)
        full = full.scaled(full.size().scaled(view, Qt::KeepAspectRatio), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    photo.screenCopy = full.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return photo;
}

QImage DrawOnPreviewPhoto(const PreviewPhoto &photo, const LoadedTemplate &loaded)
{
    QImage picture = photo.screenCopy;
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    const double shrink = 1.0 / photo.scale();
    painter.scale(shrink, shrink);
    const int width = photo.fullSize.width();
    const int height = photo.fullSize.height();
    for (const LoadedLayer &layer : loaded.layers) {
        CTextEffectRenderer::DrawTextLayer(painter, width, height, layer.conf);
        CWatermarkRenderer::DrawImageLayer(painter, width, height, layer.conf, layer.picture);
    }
    return picture;
}

} // namespace kw
