#pragma once

#include "render/photo_input.h"

#include <QByteArray>
#include <QSize>
#include <QStringList>

// The metadata an output carries from its source, whatever the output
// format: EXIF with the written size, XMP, the colour profile and IPTC. No
// embedded picture of the source passes, since each would show the photo
// without its mark: not the EXIF thumbnail, the preview pictures of camera
// maker notes or further image directories, the XMP thumbnails nor the IPTC
// object preview. (MPF
// images and Photoshop thumbnails never reach these blocks: only the IPTC
// records of the Photoshop resources are read.) The encoders wrap these
// blocks in their own containers. Any thread.
namespace kw {

struct OutputMetadata
{
    QByteArray exif; // a TIFF-structured EXIF block, without the "Exif\0\0" header
    QByteArray xmp;
    QList<QByteArray> xmpExtension; // JPEG only: extended XMP, see extended_xmp.h
    QByteArray iccProfile;
    QByteArray iptc;      // IPTC-IIM records
    QStringList warnings; // what was left out, and why
};

// The metadata for an output of `written` size (in the stored layout) whose
// EXIF Orientation tag says `orientation` (0: the source had none; 1 for an
// output written upright). EXIF larger than
// `maxExifSize` bytes (0: no limit) is replaced by a block with only the
// Orientation tag and the sizes, with a warning.
OutputMetadata PrepareOutputMetadata(const PhotoMetadata &source, QSize written, int orientation,
                                     qsizetype maxExifSize = 0);

// What the output is.
struct OutputMetadataRequest
{
    qsizetype maxExifSize = 0; // as above
    // The output is a JPEG: the source's extended XMP can be carried in its
    // own segments. Other outputs leave it out, with the main packet's
    // pointer to it.
    bool jpeg = false;
};

OutputMetadata PrepareOutputMetadata(const PhotoMetadata &source, QSize written, int orientation,
                                     const OutputMetadataRequest &request);

} // namespace kw
