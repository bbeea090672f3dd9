#pragma once

#include "settings/preferences.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Which files a run takes from the photos and folders a user names: the one
// place that knows the photo extensions, how folders are expanded and in
// which order their photos come. The window (the Add dialog and drops) and
// the command-line tool both collect through it.
//
// The rules:
// - A file named by itself is taken whatever its name (decoding judges it);
//   a name that names nothing is kept, so that it fails with a reason.
// - A folder gives the files in it with a photo extension; recursively, also
//   those of its subfolders. Hidden entries (names starting with '.') and
//   symbolic links to folders are left out; symbolic links to files are
//   followed.
// - Only regular files are taken: a FIFO, socket or device, named or found,
//   is refused at once with a reason (opening one could block for ever).
// - A name that is not valid UTF-8 cannot be opened through Qt: it is
//   refused with a reason that shows its bytes escaped, never left out
//   silently.
// - A folder's photos come in natural order: names compare letter by letter
//   ignoring case, runs of digits by their value ("p2" before "p10"), and a
//   subfolder's photos take the subfolder's place among the files.
// - When the outputs are written into an expanded folder with a suffix,
//   files named as those outputs are left out (a second run does not
//   watermark the first one's outputs), and an output folder lying inside an
//   input folder is not descended into.
namespace kw {

// The extensions of the photos a folder gives, lower case, without the dot.
inline constexpr QStringView kPhotoExtensions[] = {
    u"jpg", u"jpeg", u"png", u"bmp", u"tif", u"tiff", u"gif", u"heic", u"heif", u"hif", u"avif"};

// Whether a file name (or path) ends in one of kPhotoExtensions, in any
// letter case.
bool HasPhotoExtension(QStringView fileName);

// The filter of the dialog that adds photo files, in Qt's syntax: all
// supported files first, then each kind.
QString PhotoOpenDialogFilter();

// The natural order of paths described above ('/' sorts before every other
// character, so a folder's contents come before names that extend it).
bool NaturalPathLess(QStringView a, QStringView b);

struct PhotoCollectionOptions
{
    bool recursive = false;
    // The output settings of the run, to leave its outputs out of the
    // folders it expands; null: nothing is left out.
    const CPreferences *outputs = nullptr;
};

// A file the collection names but that cannot be processed.
struct RefusedPhoto
{
    QString shownPath; // printable: bytes that are not UTF-8 and controls escaped
    QString reason;
};

struct PhotoCollection
{
    QStringList photos; // absolute, cleaned paths, each once, in order
    std::vector<RefusedPhoto> refused;
    int earlierOutputsLeftOut = 0;
    QStringList notes; // what was left out and why, one sentence each
};

// The photos of `operands` (paths as the file system stores them: bytes), in
// the order given, folders expanded in place.
PhotoCollection CollectPhotos(const QList<QByteArray> &operands,
                              const PhotoCollectionOptions &options);
// The same for paths Qt has decoded already.
PhotoCollection CollectPhotos(const QStringList &operands, const PhotoCollectionOptions &options);

} // namespace kw
