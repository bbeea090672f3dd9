#pragma once

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

// Text variables: a layer's text may name values of the photo it is drawn
// on, in braces ("(c) {artist|Jane Doe}, {date:d MMMM yyyy}"). Pure
// functions of the text and the photo's facts; any thread.
//
// A reference is `{name}`, `{name:argument}` or either with `|fallback`
// before the closing brace. Names are compared without letter case. `{{` and
// `}}` stand for one brace. A reference that names no variable, takes an
// argument it cannot use, or is not closed is drawn as written.
namespace kw {

// What the variables are made of, collected once per photo.
struct PhotoFacts
{
    QString fileName;   // the base name, without its last extension
    QDateTime taken;    // EXIF DateTimeOriginal; invalid when absent or unreadable
    QDateTime fileTime; // the file's modification time; invalid when unknown
    QString make;       // EXIF Make
    QString model;      // EXIF Model
    QString lens;       // EXIF LensModel, else the lens model of the maker's tags
    QString artist;     // EXIF Artist, else the first XMP dc:creator
    QString copyright;  // EXIF Copyright, else XMP dc:rights (its default language)
    // 1-based position of the photo in the list of its run; 0 when unknown.
    int counter = 0;
    QSize size; // the picture's size as drawn on; empty when unknown
};

// Whether the text holds anything Expand would change (a brace).
bool HasTextVariables(QStringView text);

// The text with every reference replaced by its value. A value that is
// missing gives the fallback when one is written, else nothing.
QString ExpandTextVariables(QStringView text, const PhotoFacts &facts);

// The references Expand draws as written, each once, in order of appearance,
// without their braces ("camra", "counter:x").
QStringList UnknownTextVariables(QStringView text);

struct TextVariableInfo
{
    QString reference; // as it is written: "{date:yyyy-MM-dd}"
    QString meaning;   // one line for the editor's list
};

// Every variable, in the order the editor lists them.
const QList<TextVariableInfo> &TextVariableList();

// "Make Model" without the make written twice ("Canon Canon EOS R5" reads
// "Canon EOS R5"); either alone when the other is empty.
QString CameraName(const QString &make, const QString &model);

// The facts of the built-in sample photo, for the editor's preview: its name
// and size, counter 1, today's date; no camera values, so fallbacks show.
PhotoFacts SamplePhotoFacts(QSize size);

} // namespace kw
