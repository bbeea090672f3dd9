#pragma once

#include "platform/result.h"
#include "render/photo_resize.h"
#include "render/text_variables.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Photo input: decodes a JPEG, PNG, BMP, TIFF, GIF, HEIF (HEIC) or AVIF
// photo, turns a JPEG upright by its EXIF orientation (a HEIF by its rotation
// and mirror boxes, see heif_input.h), resizes it to the working size and keeps
// what a JPEG writer needs to carry the source's metadata into its output.
//
// Threading: every function here may run on any thread at the same time as
// the others; nothing is shared between calls except the metadata library's
// one-time set-up (InitPhotoMetadataLibrary). No exception leaves these
// functions: every failure is a result with a short reason.
namespace kw {

// The source's metadata as plain bytes, free of metadata-library types.
// Filled only for sources whose file name ends in ".jpg" or ".jpeg" (any
// case) and for HEIF and AVIF sources; other sources keep their colour profile in the image's
// colour space.
struct PhotoMetadata
{
    // The EXIF block: a TIFF structure (byte-order mark, IFD0 with its Exif,
    // GPS and interoperability sub-IFDs and maker note, IFD1 with the
    // thumbnail), as it follows "Exif\0\0" in a JPEG APP1 segment. Decode it
    // with Exiv2::ExifParser::decode.
    QByteArray exif;
    // IPTC IIM datasets as they stand inside a Photoshop 0x0404 resource.
    // Decode it with Exiv2::IptcParser::decode.
    QByteArray iptc;
    // The XMP packet exactly as stored, UTF-8.
    QByteArray xmp;
    // A JPEG's extended XMP: its segments' payloads after their namespace,
    // in file order (see extended_xmp.h).
    QList<QByteArray> xmpExtension;
    // The embedded ICC colour profile, whole (JPEG APP2 chunks joined).
    QByteArray iccProfile;

    bool isEmpty() const
    {
        return exif.isEmpty() && iptc.isEmpty() && xmp.isEmpty() && iccProfile.isEmpty();
    }
};

struct DecodedPhoto
{
    // The working bitmap: Format_ARGB32_Premultiplied, upright, at the working
    // size, in the source's colour space.
    QImage image;
    // The photo's upright size at full resolution, before resizing.
    QSize fullSize;
    // The first value of the source's EXIF Orientation tag (0x0112) as read;
    // 0 when the source has none or its metadata was not read. Values 1 to 8
    // have been applied to `image`; any other value left it unturned. Always
    // 1 for HEIF and AVIF, which their own boxes turn.
    int sourceOrientation = 0;
    QString sourcePath;
    QByteArray format; // the decoder's name for the file's format: "jpeg", "png", ...
    PhotoMetadata metadata;
    // Why the metadata could not be read (the photo decoded all the same, as
    // stored); empty when it was read or there was none.
    QString metadataNote;
    // The values of the text variables, when PhotoLoadOptions::textFacts
    // asked for them: file name and time always, the EXIF and XMP values of
    // files whose metadata can be read. The counter and size are the
    // caller's to set.
    PhotoFacts facts;
};

struct PhotoLoadOptions
{
    ResizeRequest resize;
    // Let the JPEG decoder shrink by 2, 4 or 8 in the DCT domain when the
    // working size is at most half the stored size; the photo filter
    // finishes. Faster, and within a grey level or two of the full decode.
    bool dctScaling = true;
    // Read the EXIF orientation of ".jpg"/".jpeg" sources and turn them
    // upright. Off: the picture as stored, no metadata read. A HEIF or AVIF
    // is turned by its rotation and mirror boxes either way: they are part
    // of the picture's definition, as its decoder's own tool shows it.
    bool orient = true;
    // Keep the metadata blobs for a JPEG writer (a preview does not need them).
    bool keepMetadata = true;
    // Collect the values of the text variables (DecodedPhoto::facts). Off
    // costs nothing; on adds a file-time query, and a metadata read for
    // sources whose metadata is not read anyway (PNG, TIFF).
    bool textFacts = false;
};

// Photo files larger than this (1 GiB) are refused before they are read.
inline constexpr qint64 kMaxPhotoFileBytes = qint64(1) << 30;

// Reads the photo at `path` and makes its working bitmap: decode (format by
// content: JPEG, PNG, BMP, TIFF or GIF, the first frame or page; HEIF and
// AVIF by their file-type box, the primary image), turn
// upright, resize to ComputeWorkingSize of the upright full-resolution size.
//
// Fails with a reason ("cannot decode photo: ..." and the like) for: a file
// that cannot be opened, is not a regular file (a folder, FIFO, device or
// socket fails at once, without blocking) or is empty, more than
// kMaxPhotoFileBytes, not one of the seven formats, more than kMaxPhotoPixels,
// cut short (JPEG without its end marker, GIF whose first frame's data runs
// out, BMP with fewer rows than its header says, PNG without its end chunk),
// a damaged PNG chunk or PNG image data, any decoder error (the codec's own
// message), a refused working size, and memory that runs out. The codecs'
// messages never reach the terminal: a failure names the last one, a success
// drops them. Unreadable metadata is not a failure: the photo is kept
// unturned and metadataNote says why.
Result<DecodedPhoto> LoadPhoto(const QString &path, const PhotoLoadOptions &options = {});

// Whether the file name's extension, from its last dot, is ".jpg" or ".jpeg"
// in any letter case (".jpe" and ".jfif" are not). A dot in a folder name
// does not count.
bool HasJpegExtension(const QString &path);

// The size a picture stored at `stored` shows after its EXIF orientation:
// width and height swap for 5 to 8. The same swap takes an upright size back
// to the stored one.
QSize OrientedSize(QSize stored, int orientation);

// Turns a picture stored with EXIF orientation 1 to 8 upright:
// 2 mirror left-right, 3 half turn, 4 mirror top-bottom, 5 transpose (mirror
// across the top-left to bottom-right diagonal), 6 quarter turn clockwise,
// 7 transverse (mirror across the other diagonal), 8 quarter turn
// counter-clockwise. Any other value returns the picture unchanged. A null
// image when memory runs out. Pixels move exactly; none are resampled.
QImage OrientUpright(QImage stored, int orientation);

// The inverse of OrientUpright: turns an upright picture back to the layout
// a source with that orientation stores, so that written with the same
// Orientation tag it shows upright again.
QImage OrientToStored(QImage upright, int orientation);

// Sets up Exiv2 for use from several threads (the XMP toolkit with a lock,
// its warnings on stderr silenced); idempotent and thread-safe. LoadPhoto
// calls it; any other code that uses Exiv2 must call it first.
void InitPhotoMetadataLibrary();

} // namespace kw
