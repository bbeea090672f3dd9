#pragma once

#include <QString>
#include <QStringList>

namespace kw::cli {

// Whether a file name has one of the extensions a folder gives photos for:
// .jpg, .jpeg, .png, .bmp, .tif, .tiff, .gif, in any letter case.
bool HasPhotoExtension(const QString &fileName);

// The photos of the command line's operands, as absolute paths, each once,
// in the order given: a file stands for itself (whatever its name; decoding
// judges it), a folder for its photos sorted by name, then, with
// `recursive`, those of its subfolders (hidden entries and links to folders
// are skipped). An operand that names nothing is kept, so that it fails with
// a reason.
QStringList CollectPhotos(const QStringList &operands, bool recursive);

} // namespace kw::cli
