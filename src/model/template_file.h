#pragma once

#include "model/model_result.h"
#include "model/watermark_template.h"
#include "platform/result.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// Template files and the paths of every file in the templates folder.
//
// Each file of a template or a layer is the templates folder, one separator,
// the base name and ".xml"; template and layer files share the folder, so a
// template and a layer of equal names would be one file. Every XML file the
// model writes starts with the declaration and CR LF and holds one element per
// line, each line ended by CR LF, in UTF-8 without a byte-order mark.
//
// Functions are reentrant; they share no state. Two writers of one file do
// not merge their changes.
namespace kw {

inline constexpr QStringView kXmlDeclarationLine =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
inline constexpr QStringView kModelFileSuffix = u".xml";

// Whether `baseName` names a file inside the folder and nothing else: not
// empty, not "." or "..", and without "/", "\" or a NUL character. A name
// read from a file that fails this (for example "../x" in a hand-edited
// template) is never turned into a path.
bool IsUsableBaseName(QStringView baseName);

// folder + "/" + baseName + ".xml"; empty when the base name is not usable or
// the folder is empty (a file name alone would land in the working folder).
QString ModelFilePath(QStringView folder, QStringView baseName);

// The name every template's first layer gets: the template name + "_Layer 1".
QString FirstLayerName(QStringView templateName);

// Writes the template file: root "Layers" holding one "layer" element with
// `firstLayerName`. Replaces any file of that name.
ModelResult CreateTemplateFile(const QString &folder, const QString &templateName,
                               const QString &firstLayerName);

// The text of every "layer" child of "Layers", in file order; other children
// are skipped. Empty when the file cannot be loaded or has no "Layers".
QStringList ReadTemplateLayers(const QString &folder, const QString &templateName);

// The template of that name with its layer list, read as ReadTemplateLayers
// reads it. Fails with a reason naming the file when the name cannot be a
// file name, or the file is missing, unreadable, not well-formed or without
// "Layers". A "Layers" without any "layer" is read as a template without
// layers.
Result<CWatermarkTemplate> ReadTemplate(const QString &folder, const QString &templateName);

} // namespace kw
