#pragma once

#include "platform/result.h"

#include <QImage>
#include <QString>

// Thumbnails of photos for lists: small, upright, quick to make. Any thread;
// calls share nothing.
namespace kw {

struct PhotoThumbnail
{
    QImage image;          // upright, at most maxSide on its longer side
    bool fromExif = false; // made from the photo's embedded EXIF preview
};

// Makes the thumbnail of the photo at `path`, turned as the batch turns it
// (a JPEG by its EXIF orientation), fitting in maxSide x maxSide (never
// enlarged). A JPEG's embedded EXIF preview is used when it is at least
// three quarters of maxSide across (cut to the photo's proportions when it
// is letterboxed), which reads only the file's headers; otherwise the photo
// is decoded at a reduced size (a JPEG shrunk by 2, 4 or 8 in its DCT
// domain). Fails with the photo decoder's reason.
Result<PhotoThumbnail> MakePhotoThumbnail(const QString &path, int maxSide);

} // namespace kw
