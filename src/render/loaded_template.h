#pragma once

#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "platform/result.h"
#include "render/layer_picture.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

// A template read whole, ready to draw: every layer's record and each layer's
// picture decoded. Built once and never changed afterwards, so any number of
// renders on any threads may draw from one through a shared pointer (QImage
// copies share their pixels read-only).
namespace kw {

struct LoadedLayer
{
    QString name;
    CWatermarkConf conf;
    // The layer's picture, upright (a JPEG turned by its EXIF orientation,
    // as photos are), or an SVG drawing; null when the layer names no
    // picture.
    LayerPicture picture;
};

struct LoadedTemplate
{
    QString name;
    std::vector<LoadedLayer> layers; // drawing order, first to last
    // Whether and how each photo's mark is perturbed; off when the template
    // file has no such element.
    MarkWarpSetting markWarp;
    // What the outputs' metadata leave out and say; nothing when the file
    // has none of its elements.
    OutputMetadataSetting outputMetadata;
};

using SharedTemplate = std::shared_ptr<const LoadedTemplate>;

// Reads the template `templateName` of `templatesFolder` with its removal
// resistance option, each of its layer files over the new-layer values, and
// decodes each layer's picture (found by LayerPicturePath). Fails, naming the
// file, when no template is named, the template file or a layer file cannot
// be read, the template lists no layer, or a picture is missing, unreadable,
// not a regular file (a FIFO is refused without being opened) or not a
// picture. A layer with empty text and no picture is drawn as nothing, as
// designed, and is no failure.
Result<SharedTemplate> LoadTemplateForRender(const QString &templatesFolder,
                                             const QString &templateName);

// Where a layer's picture is read from: `imagePath` itself when absolute; a
// relative one lies in the data folder, the folder that holds
// `templatesFolder` (and preference.xml), so that the data folder with its
// templates and logos can be copied elsewhere as one folder.
QString LayerPicturePath(const QString &templatesFolder, const QString &imagePath);

// The picture at `path` as a layer draws it: an SVG drawing when the file is
// XML (LooksLikeSvg), else a raster picture decoded as photos are (by
// content; a ".jpg"/".jpeg" turned upright by its EXIF orientation). Fails
// with a short cause ("no such file", "not a regular file", the decoder's
// reason, why the SVG cannot be drawn).
Result<LayerPicture> LoadLayerPicture(const QString &path);

} // namespace kw
