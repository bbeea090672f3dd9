#pragma once

#include "model/template_library.h"

#include <QString>

// The editor's layer commands on the files of one template: add a layer,
// rename one, remove one. A layer is its file in the templates folder (layer
// name + ".xml") and an entry, by index, in the template's layer list.
//
// Names are checked with CheckNewLayerName, so nothing is written outside
// the folder and no other template's or layer's file is replaced. Every file
// is written whole through a temporary file; when a later step fails, the
// earlier ones are undone. No widgets; reentrant.
namespace kw {

// Writes a complete layer file with the new-layer values and the text of a
// template's first layer, then appends `layerName` to the template's list.
LibraryResult AddTemplateLayer(const QString &folder, const QString &templateName,
                               const QString &layerName);

// Renames the layer at `index` of the template's list: its file, and every
// entry of this template that names it. Refused when another template of the
// template list also names that layer, since its list would lose the layer.
// Renaming to the same name does nothing.
LibraryResult RenameTemplateLayer(const QString &folder, const QString &templateName, int index,
                                  const QString &newName);

// Removes the entry at `index` from the template's list, then deletes the
// layer's file unless a remaining entry of any template still names it.
// Refused for a template's only layer. A file that cannot be deleted is
// named in the message of a Done result.
LibraryResult RemoveTemplateLayer(const QString &folder, const QString &templateName, int index);

} // namespace kw
