#pragma once

#include "platform/result.h"

#include <QString>

// The layer commands on the files of one template: add a layer, rename one,
// remove one. A layer is its file in the templates folder (layer name +
// ".xml") and an entry, by index, in the template's layer list.
//
// Names are checked with CheckNewLayerName, so nothing is written outside the
// folder and no other template's or layer's file is replaced. Every file is
// written whole through a temporary file; when a later step fails, the
// earlier ones are undone. The Check functions give the refusal the command
// would make, so a caller can tell a refusal from a failure. Reentrant.
namespace kw {

// Writes a complete layer file with the new-layer values and the text of a
// template's first layer, then appends `layerName` to the template's list.
Status AddTemplateLayer(const QString &folder, const QString &templateName,
                        const QString &layerName);

// The message that refuses renaming the layer at `index` to `newName`, or an
// empty string: the new name must pass CheckNewLayerName, and no other
// template of the template list may name the layer, since its list would lose
// it. Empty for the layer's own name and for an index out of range.
QString CheckLayerRename(const QString &folder, const QString &templateName, int index,
                         const QString &newName);

// Renames the layer at `index` of the template's list: its file, and every
// entry of this template that names it. Refused as CheckLayerRename says.
// Renaming to the same name does nothing.
Status RenameTemplateLayer(const QString &folder, const QString &templateName, int index,
                           const QString &newName);

// The message that refuses removing the layer at `index`, or an empty
// string: a template's only layer stays.
QString CheckLayerRemoval(const QString &folder, const QString &templateName, int index);

// Removes the entry at `index` from the template's list, then deletes the
// layer's file unless a remaining entry of any template still names it.
// Refused as CheckLayerRemoval says. The value is a note for the user about a
// part left undone (a file that could not be deleted); empty when none.
Result<QString> RemoveTemplateLayer(const QString &folder, const QString &templateName, int index);

} // namespace kw
