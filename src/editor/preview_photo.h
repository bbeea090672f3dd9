#pragma once

#include "platform/result.h"
#include "render/loaded_template.h"
#include "render/photo_resize.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace kw {

// A user's photo made ready for the editor's preview: decoded, turned upright
// and resized as the batch does, then shrunk once to fit the preview. The
// mark is drawn on the small copy with the full-size geometry: the painter is
// scaled, so every length the layer gives in pixels (font, offsets, edge,
// shadow, 3D offset, cover tiles) keeps its proportion to the photo, and the
// preview shows the batch's picture shrunk.
struct PreviewPhoto
{
    QString path;
    ResizeRequest resize;
    QImage screenCopy; // Format_ARGB32_Premultiplied
    QSize fullSize;    // the batch's canvas: upright and resized

    // Photo pixels per pixel of the screen copy.
    double scale() const;
    bool matches(const QString &otherPath, const ResizeRequest &otherResize) const;
};

// The resizing a batch run started now would apply: the stored setting of
// `dataFolder` (its defaults when the file is missing) with the window's
// "just this time" choice.
ResizeRequest CurrentResizeRequest(const QString &dataFolder, bool resizeJustThisTime);

// Decodes `path` as a batch run would and makes the screen copy that fits
// `view`. Fails as the batch would fail on that photo.
Result<PreviewPhoto> MakePreviewPhoto(const QString &path, const ResizeRequest &resize, QSize view);

// The template drawn on a copy of the photo's screen copy, placed and sized
// as on the full-size photo. The removal resistance's warp (about a pixel of
// the full photo) is left out: it is far below a pixel of the copy.
QImage DrawOnPreviewPhoto(const PreviewPhoto &photo, const LoadedTemplate &loaded);

} // namespace kw
