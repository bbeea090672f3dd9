#pragma once

#include "render/photo_input.h"
#include "render/text_variables.h"

#include <QByteArray>
#include <QString>

// Internal to photo input: the part that talks to Exiv2, so that no Exiv2
// type reaches a public header.
namespace kw::detail {

struct MetadataRead
{
    int orientation = 0;    // first value of Exif.Image.Orientation; 0 when absent
    PhotoMetadata metadata; // filled only when blobs were asked for
    QString note;           // why the metadata could not be read
    // The camera, lens, date and author values of the text variables (not
    // the file name, time, size or counter, which the file and run give).
    PhotoFacts facts;
};

// Reads the metadata of the image file held in `bytes`. Never throws.
MetadataRead ReadPhotoMetadata(const QByteArray &bytes, bool keepBlobs);

// The text variables' values of an EXIF block (TIFF-structured) and an XMP
// packet, as MetadataRead::facts; either may be empty. Never throws.
PhotoFacts ReadPhotoFactsFromBlocks(const QByteArray &exifTiff, const QByteArray &xmpPacket);

} // namespace kw::detail
