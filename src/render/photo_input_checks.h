#pragma once

#include <QByteArray>
#include <QString>

// Internal to photo input: structure checks that run on a photo's bytes
// before its decoder does. Some decoders accept a file that is cut short
// without an error (libjpeg pads with grey, Qt's GIF and BMP readers leave
// the rest blank); libpng prints its errors on the terminal itself, because
// Qt installs no error handler for it. Each check answers with a reason, or
// an empty string when the decoder may go ahead; structure a check does not
// understand is left to the decoder to judge.
namespace kw::detail {

// Every check below that finds the data ending early says this.
QString CutShortReason();

// A JPEG stream must reach its end-of-image marker.
QString CheckJpegEnd(const QByteArray &bytes);

// A GIF's first image must have all its data.
QString CheckGifFirstImage(const QByteArray &bytes);

// An uncompressed BMP must hold all the rows its header promises.
QString CheckBmpPixels(const QByteArray &bytes);

// A PNG must have a valid header chunk, undamaged critical chunks (their
// checksums), a palette where its colour type needs one, image data that
// inflates to exactly the size its header promises, and its end chunk.
QString CheckPngStructure(const QByteArray &bytes);

} // namespace kw::detail
