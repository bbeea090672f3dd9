#pragma once

#include "platform/result.h"
#include "render/photo_input.h"

#include <QByteArray>
#include <QString>

// Internal to photo input: HEIF (HEIC) and AVIF photos, decoded by libheif.
//
// The primary image is decoded, turned upright by its rotation and mirror
// boxes (phones also write an EXIF Orientation for the same turn, which is
// therefore ignored: the photo counts as orientation 1 and its EXIF block
// says 1). Its thumbnails and other images are never decoded. EXIF, XMP and
// an ICC profile are kept for the output writer like a JPEG's; a colour
// description given as nclx code points keeps no profile (the picture is
// taken as sRGB). Deeper images (10 or 12 bits) come out at 8 bits a channel.
namespace kw::detail {

// "heif" or "avif" when the bytes start with a file-type box naming a HEIF
// or AVIF brand (major or compatible), else empty.
QByteArray HeifContentFormat(const QByteArray &bytes);

// Decodes a HEIF or AVIF photo held in `bytes` (format as HeifContentFormat
// says) into its working bitmap. Fails with a reason for damaged data, more
// than kMaxPhotoPixels, a refused working size, and memory that runs out.
Result<DecodedPhoto> LoadHeifPhoto(const QString &path, const QByteArray &bytes,
                                   const QByteArray &format, const PhotoLoadOptions &options);

// The TIFF structure of a HEIF EXIF item: the item starts with a 4-byte
// big-endian offset from its end to the TIFF header. Fails when the offset
// points outside the item or at no TIFF header.
Result<QByteArray> TiffFromHeifExif(const QByteArray &item);

// Sets every Orientation tag (0x0112) of the TIFF structure's first IFD to 1,
// in place; the rest stays byte for byte. A block without the tag, or one
// whose IFD cannot be walked, is returned as it came.
QByteArray WithOrientationOne(QByteArray tiff);

} // namespace kw::detail
