#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "platform/result.h"

// The template library on disk: the template index "qthumb.xml" (root
// "Templates", one "template" element per template, in list order), and the
// template and layer files in the templates folder. These are the file
// operations behind the window's template list; the window keeps its list in
// step with the results.
//
// Every file is written through a temporary file renamed over the target, and
// nothing is written, renamed or deleted outside `folder`: names that could
// reach elsewhere are refused or skipped. Functions are reentrant; two calls
// on the same folder at once do not merge their changes.
namespace kw {

inline constexpr QStringView kTemplateIndexFileName = u"qthumb.xml";
inline constexpr QStringView kFirstRunTemplateName = u"Demo 1";

// A change of the library: on success, a note for the user about a part left
// undone (empty when everything was done); on failure, why nothing was
// changed (a name refused, or a file that could not be read or written).
using LibraryChange = Result<QString>;

// Path of the template index in `folder`.
QString TemplateIndexPath(const QString &folder);

// On the first run, when `folder` does not exist: creates it and writes the
// index with the single template "Demo 1", that template's file and its layer
// "Demo 1_Layer 1" with the new-layer values and the text "Kelvane Watermark".
// Does nothing when the folder exists. When a write fails, what was written
// is taken away again, so the next start seeds afresh.
LibraryChange SeedFirstRun(const QString &folder);

// The names of the index, in order; a failure when the index is missing,
// unreadable or not well-formed.
Result<QStringList> LoadTemplateIndex(const QString &folder);

// The message that refuses `name` for a new template (whose first layer will
// be `name` + "_Layer 1"), or an empty string when it may be used. Refused:
// an empty or blank name; "/", "\", ":", "*", "?", '"', "<", ">", "|" or a
// control character; "." and ".."; a file name longer than the file system
// takes; a name equal, ignoring case, to an index entry, to the index file's
// base name, or to the base name of any file in the folder. The same holds
// for the first layer's name. When `renamedFrom` is given, the entry and file
// of that template do not count (so its name may change case) and no layer
// name is checked, since renaming keeps the layers.
QString CheckNewTemplateName(const QString &folder, QStringView name, QStringView renamedFrom = {});

// The same rules for a new layer name.
QString CheckNewLayerName(const QString &folder, QStringView name);

// Adds a template at the end of the index: checks the name, writes its layer
// file (new-layer values, text "Kelvane Watermark For Win"), its template file
// naming that layer, then the index. A missing index is created; an index
// that exists but cannot be read, or has no "Templates" element, is not
// overwritten (a failure). When a later write fails, the files already written
// are removed again.
LibraryChange AddTemplate(const QString &folder, const QString &name);

// Renames the template `oldName` (the first index entry with exactly that
// text) to `newName`: checks the new name, renames the template file, then
// changes the entry. The layers keep their names and files. When the index
// cannot be saved, the file gets its old name back. Renaming to the same name
// does nothing.
LibraryChange RenameTemplate(const QString &folder, const QString &oldName, const QString &newName);

// Removes the first index entry with exactly the text `name`, then deletes
// the template's layer files and its template file. A file that another
// index entry or another template's layer list still names is kept. Files
// that cannot be deleted are listed in the note of the success.
LibraryChange RemoveTemplate(const QString &folder, const QString &name);

} // namespace kw
