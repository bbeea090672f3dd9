#include "render/loaded_template.h"

#include "model/layer_file.h"
#include "model/template_file.h"
#include "platform/app_folders.h"
#include "render/photo_input.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// "cannot decode photo: the file is empty" -> "the file is empty".
QString CauseOf(const QString &reason)
{
    const qsizetype colon = reason.indexOf(u": "_s);
    QString cause = colon >= 0 ? reason.mid(colon + 2) : reason;
    if (cause.size() > 1 && cause.at(0).isUpper() && cause.at(1).isLower())
        cause[0] = cause.at(0).toLower();
    return cause;
}

} // namespace

QString LayerPicturePath(const QString &templatesFolder, const QString &imagePath)
{
    if (imagePath.isEmpty() || !QDir::isRelativePath(imagePath))
        return imagePath;
    const QString dataFolder = QFileInfo(QDir::cleanPath(templatesFolder)).path();
    return QDir::cleanPath(JoinPath(dataFolder, imagePath));
}

Result<LayerPicture> LoadLayerPicture(const QString &path)
{
    // Looked at before anything opens it: opening a FIFO would wait for a
    // writer, and a device may never end.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Failure{u"no such file"_s};
        return Failure{QString::fromLocal8Bit(std::strerror(errno)).toLower()};
    }
    if (!S_ISREG(st.st_mode))
        return Failure{S_ISDIR(st.st_mode) ? u"it is a folder"_s : u"not a regular file"_s};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{file.errorString().toLower()};
    if (LooksLikeSvg(file.peek(256))) {
        if (file.size() > kMaxSvgFileBytes)
            return Failure{u"the SVG file is larger than %1 MiB"_s.arg(kMaxSvgFileBytes >> 20)};
        const QByteArray svg = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Failure{file.errorString().toLower()};
        return LayerPicture::FromSvg(svg);
    }
    file.close();

    // Turned upright as a photo is, so a logo straight from a camera or a
    // phone stands as it shows everywhere else.
    PhotoLoadOptions options;
    options.keepMetadata = false;
    Result<DecodedPhoto> loaded = LoadPhoto(path, options);
    if (!loaded)
        return Failure{CauseOf(loaded.error())};
    return LayerPicture(std::move(loaded->image));
}

Result<SharedTemplate> LoadTemplateForRender(const QString &templatesFolder,
                                             const QString &templateName)
{
    if (templateName.isEmpty())
        return Failure{u"no template is selected"_s};
    const Result<CWatermarkTemplate> read = ReadTemplate(templatesFolder, templateName);
    if (!read)
        return Failure{read.error()};
    if (read->layers.isEmpty())
        return Failure{u"the template file %1 lists no layer"_s.arg(
            ModelFilePath(templatesFolder, templateName))};

    Result<MarkWarpSetting> markWarp = ReadMarkWarpSetting(templatesFolder, templateName);
    if (!markWarp)
        return Failure{markWarp.error()};

    auto loaded = std::make_shared<LoadedTemplate>();
    loaded->markWarp = *markWarp;
    Result<OutputMetadataSetting> metadata =
        ReadOutputMetadataSetting(templatesFolder, templateName);
    if (!metadata)
        return Failure{metadata.error()};
    loaded->outputMetadata = std::move(metadata).value();
    QHash<QString, LayerPicture> pictures; // a logo several layers share is decoded once
    loaded->name = templateName;
    loaded->layers.reserve(size_t(read->layers.size()));
    for (const QString &layerName : read->layers) {
        LoadedLayer &layer = loaded->layers.emplace_back();
        layer.name = layerName;
        // Each layer starts from the new-layer values, so what is drawn never
        // depends on the layer read before it.
        const Status conf = LoadLayerOverDefaults(templatesFolder, layerName, layer.conf);
        if (!conf)
            return Failure{u"the layer '%1' of template '%2' cannot be read: %3"_s.arg(
                layerName, templateName, conf.error())};
        if (layer.conf.ImagePathName.isEmpty())
            continue;
        if (const auto known = pictures.constFind(layer.conf.ImagePathName);
            known != pictures.cend()) {
            layer.picture = known.value();
            continue;
        }
        const QString picturePath = LayerPicturePath(templatesFolder, layer.conf.ImagePathName);
        Result<LayerPicture> picture = LoadLayerPicture(picturePath);
        if (!picture)
            return Failure{u"the logo %1 of layer '%2' cannot be read: %3"_s.arg(
                picturePath, layerName, picture.error())};
        layer.picture = std::move(picture).value();
        pictures.insert(layer.conf.ImagePathName, layer.picture);
    }
    return SharedTemplate(std::move(loaded));
}

} // namespace kw
