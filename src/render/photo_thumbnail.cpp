#include "render/photo_thumbnail.h"

#include "render/photo_input.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

int OrientationOf(const Exiv2::ExifData &exif)
{
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == exif.end() || it->count() == 0)
        return 0;
    const long value = it->toLong(0);
    return value >= 1 && value <= 8 ? int(value) : 0;
}

QImage FitInto(const QImage &image, int maxSide)
{
    if (image.width() <= maxSide && image.height() <= maxSide)
        return image;
    return image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The embedded preview as stored, cut to the stored photo's proportions.
QImage ExifPreview(const Exiv2::Image &image)
{
    const Exiv2::ExifThumbC thumb(image.exifData());
    if (std::string(thumb.mimeType()) != "image/jpeg")
        return {};
    const Exiv2::DataBuf data = thumb.copy();
    if (data.size_ <= 0)
        return {};
    QImage preview;
    if (!preview.loadFromData(data.pData_, int(data.size_), "JPEG"))
        return {};
    // A 160 x 120 preview of a 3:2 photo carries black bands: keep the
    // middle part of the photo's proportions.
    const int w = image.pixelWidth(), h = image.pixelHeight();
    if (w > 0 && h > 0 && !preview.isNull()) {
        const double photo = double(w) / h, shown = double(preview.width()) / preview.height();
        if (photo > shown * 1.02) {
            const int keep = std::max(1, int(preview.width() / photo + 0.5));
            preview = preview.copy(0, (preview.height() - keep) / 2, preview.width(), keep);
        } else if (shown > photo * 1.02) {
            const int keep = std::max(1, int(preview.height() * photo + 0.5));
            preview = preview.copy((preview.width() - keep) / 2, 0, keep, preview.height());
        }
    }
    return preview;
}

// The EXIF preview of a JPEG file, upright; nullopt when there is none that
// is large enough.
std::optional<QImage> FromExif(const QString &path, int maxSide)
{
    InitPhotoMetadataLibrary();
    try {
        // Owned at once by a unique_ptr: Exiv2 0.27 returns a std::auto_ptr.
        std::unique_ptr<Exiv2::Image> image(
            Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString()).release());
        if (!image.get() || image->mimeType() != "image/jpeg")
            return std::nullopt;
        image->readMetadata();
        QImage preview = ExifPreview(*image);
        if (preview.isNull() || std::max(preview.width(), preview.height()) * 4 < maxSide * 3)
            return std::nullopt;
        preview = OrientUpright(preview, OrientationOf(image->exifData()));
        if (preview.isNull())
            return std::nullopt;
        return FitInto(preview, maxSide).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } catch (...) {
        // Unreadable metadata: the photo itself tells.
        return std::nullopt;
    }
}

} // namespace

Result<PhotoThumbnail> MakePhotoThumbnail(const QString &path, int maxSide)
{
    if (maxSide <= 0)
        return Failure{u"no thumbnail size"_s};
    if (HasJpegExtension(path)) {
        if (std::optional<QImage> preview = FromExif(path, maxSide))
            return PhotoThumbnail{std::move(*preview), true};
    }
    // Decoded twice as wide as the thumbnail (a tall photo then fits after
    // the last step), most of the way in the JPEG's DCT domain.
    PhotoLoadOptions options;
    options.resize = ResizeRequest{true, 1, 2 * maxSide, 0};
    options.dctScaling = true;
    options.keepMetadata = false;
    Result<DecodedPhoto> photo = LoadPhoto(path, options);
    if (!photo)
        return Failure{photo.error()};
    // A photo smaller than the thumbnail keeps its own size.
    const QSize full = photo->fullSize;
    if (full.width() <= maxSide && full.height() <= maxSide && full.isValid())
        return PhotoThumbnail{
            photo->image.scaled(full, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), false};
    return PhotoThumbnail{FitInto(photo->image, maxSide), false};
}

} // namespace kw
