// Loads arbitrary bytes as a photo named ".jpg", so that every decoder path
// (format by content), the end-of-data checks, the EXIF reading and the turn
// upright all see the input. The input's size picks the resize request and
// whether the JPEG decoder may scale, so the corpus covers those paths too.
// Checks: a failure has a reason that names its cause; a success is a
// premultiplied bitmap of the working size of its upright full size, which
// is within the pixel limit, with an orientation the tag can hold.
//
// Memory: a photo just under the pixel limit decodes to 1.6 GB when it has 16
// bits a sample; run with -rss_limit_mb=4096 -malloc_limit_mb=2048.
#include "render/photo_input.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

kw::PhotoLoadOptions OptionsFor(size_t size)
{
    kw::PhotoLoadOptions options;
    switch (size % 4) {
    case 1:
        options.resize = {true, 1, 64, 0}; // proportional to a width
        break;
    case 2:
        options.resize = {true, 3, 33, 17}; // exact size
        break;
    case 3:
        options.keepMetadata = false;
        break;
    default:
        break;
    }
    options.dctScaling = size / 4 % 2 == 0;
    return options;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + u"/photo.jpg"_s;
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    if (file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return 0;
    file.close();

    const kw::PhotoLoadOptions options = OptionsFor(size);
    const kw::Result<kw::DecodedPhoto> loaded = kw::LoadPhoto(path, options);
    if (!loaded) {
        Check(loaded.error().startsWith(u"cannot "_s));
        Check(!loaded.error().contains(u"unknown error"_s, Qt::CaseInsensitive));
        return 0;
    }
    const kw::DecodedPhoto &photo = *loaded;
    Check(!photo.image.isNull());
    Check(photo.image.format() == QImage::Format_ARGB32_Premultiplied);
    Check(int64_t(photo.fullSize.width()) * photo.fullSize.height() <= kw::kMaxPhotoPixels);
    const kw::WorkingSize working = kw::ComputeWorkingSize(photo.fullSize, options.resize);
    Check(bool(working) && photo.image.size() == working.size);
    Check(photo.sourceOrientation >= 0 && photo.sourceOrientation <= 0xffff);
    Check(photo.format == "jpeg" || photo.format == "png" || photo.format == "bmp" ||
          photo.format == "tiff" || photo.format == "gif");
    if (!options.keepMetadata)
        Check(photo.metadata.isEmpty());
    return 0;
}
