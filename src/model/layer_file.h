#pragma once

#include "model/watermark_conf.h"
#include "platform/result.h"

#include <QString>
#include <QStringList>

// Layer files: one layer's settings in the templates folder, file name = layer
// name + ".xml". Root "WatermarkConf" holds the groups "Text" (29 elements)
// and "Image" (8 elements), one element per field in the order of
// kw::LayerFields(). Integers and colours are signed decimals, the font is
// its 92 bytes as a comma-separated list (layer_values.h). The optional
// fields (kw::OptionalLayerFields()) follow the fixed ones in their group and
// are present only when not 0.
//
// Functions are reentrant; they share no state. A record is only touched by
// the call it is passed to.
namespace kw {

// Writes a complete layer file from `conf` (44 lines, plus one per optional
// field that is not 0), replacing any file of that name. `conf` is not
// changed.
Status CreateLayerFile(const QString &folder, const QString &layerName, const CWatermarkConf &conf);

// Reads the layer file into `conf`. Each element is searched among the
// siblings after the previous match, so an element standing before an earlier
// field's element is not seen, and of two equal elements the first counts.
// Fields whose elements are missing or not seen keep their values; the font
// list overwrites only the bytes it holds. A file that is missing, unreadable
// or not well-formed leaves `conf` unchanged and gives a failure; so does one
// without "WatermarkConf". Missing groups and fields are not failures. An
// optional field is found anywhere in its group and kept within its bounds;
// without its element it is 0.
Status LoadLayerConf(const QString &folder, const QString &layerName, CWatermarkConf &conf);

// A fresh record with every field at its new-layer value (textContent empty),
// then the layer file read over it, so the result never depends on what a
// record held before. Fails as LoadLayerConf does; `conf` then holds the
// defaults.
Status LoadLayerOverDefaults(const QString &folder, const QString &layerName, CWatermarkConf &conf);

// Writes `conf` into the existing layer file in place: each field's element,
// found as LoadLayerConf finds it, gets the field's value as its text when it
// does not already read as that value; all other text of the file (comments,
// other elements, spacing, line breaks, byte-order mark and encoding) stays
// as it was. Missing elements of the fixed fields are not added, and an
// element holding child elements is left alone. An optional field that is
// not 0 is set in its element or appended at the end of its group (in the
// file's line breaks); one that is 0 has its elements removed. A missing or
// unreadable file is not created: the call fails and writes nothing. Nothing
// is written when no element changes. A file without the group an optional
// field belongs to is saved with everything else and the call fails naming
// the field.
Status SaveLayerConf(const QString &folder, const QString &layerName, const CWatermarkConf &conf);

} // namespace kw
