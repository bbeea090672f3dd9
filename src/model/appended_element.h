#pragma once

#include <QStringView>

// Adding an element to a stored file that a person or another program may
// have written: the new line ends like the file's other lines.
namespace kw {

class CXmlDocument;

// Appends an element with `text` as the last child of the parent position the
// document has entered, on a line of its own ended like the file's first line
// (CR LF when the file has no line break). The position is reset afterwards.
// False when the document refuses the element.
bool AppendElementKeepingLineBreaks(CXmlDocument &doc, QStringView name, QStringView text);

} // namespace kw
