#pragma once

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
Status CreateTemplateFile(const QString &folder, const QString &templateName,
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

// The template's "Resist removal across photos" option: each photo's mark is
// drawn with its own small smooth deformation (and optionally a small shift
// and fade), so that the marks of a collection no longer line up exactly and
// cannot be estimated from the collection and subtracted.
//
// Stored as one element at the end of "Layers", present exactly when the
// option is on: <ResistRemoval>1,8,0,0</ResistRemoval>, four numbers joined
// by commas: the largest displacement in pixels, the smoothness (the width of
// the Gaussian that smooths the random field) in pixels, the largest shift of
// the whole mark in pixels, and the largest fade of its opacity in per cent.
// Decimals use a full stop. A missing or unreadable number takes its default;
// numbers are clamped to the ranges below.
namespace kw {

struct MarkWarpSetting
{
    bool enabled = false;
    double maxDisplacement = 1.0;  // pixels of the canvas
    double smoothness = 8.0;       // pixels; sigma of the smoothing Gaussian
    double maxOffset = 0.0;        // pixels
    double opacityVariation = 0.0; // per cent of the mark's opacity

    static constexpr double kMaxDisplacementLimit = 10.0;
    static constexpr double kSmoothnessMin = 1.0;
    static constexpr double kSmoothnessMax = 100.0;
    static constexpr double kMaxOffsetLimit = 50.0;
    static constexpr double kOpacityVariationLimit = 50.0;

    friend bool operator==(const MarkWarpSetting &, const MarkWarpSetting &) = default;
};

inline constexpr QStringView kMarkWarpElement = u"ResistRemoval";

// The element text for the setting's numbers ("1,8,0,0").
QString FormatMarkWarpSetting(const MarkWarpSetting &setting);
// The setting an element with this text stands for (enabled, numbers clamped).
MarkWarpSetting ParseMarkWarpSetting(QStringView text);

// The template's option: off when the file has no such element. Fails when
// the template file cannot be loaded or has no "Layers".
Result<MarkWarpSetting> ReadMarkWarpSetting(const QString &folder, const QString &templateName);

// Writes the option into the existing template file: an enabled setting is
// written into the element (appended at the end of "Layers" in the file's
// own line breaks when it is missing); a disabled one removes the element.
// Everything else in the file stays as it was, and nothing is written when
// the file already says so.
Status SaveMarkWarpSetting(const QString &folder, const QString &templateName,
                           const MarkWarpSetting &setting);

} // namespace kw

// The template's choices for the metadata its outputs carry, each off when
// its element is absent. Stored as elements at the end of "Layers", each
// present exactly when set:
//   <StripLocation>1</StripLocation>            no GPS position in the output
//   <StripSerialNumbers>1</StripSerialNumbers>  no camera, lens or body serial numbers
//   <OutputArtist>text</OutputArtist>            written as EXIF Artist and XMP dc:creator
//   <OutputCopyright>text</OutputCopyright>      written as EXIF Copyright and XMP dc:rights
// The two texts may hold text variables ("(c) {year} {artist|Jane Doe}").
namespace kw {

struct OutputMetadataSetting
{
    bool stripLocation = false;
    bool stripSerialNumbers = false;
    QString artist;    // empty: the source's own, if any
    QString copyright; // empty: the source's own, if any

    bool isDefault() const
    {
        return !stripLocation && !stripSerialNumbers && artist.isEmpty() && copyright.isEmpty();
    }
    friend bool operator==(const OutputMetadataSetting &, const OutputMetadataSetting &) = default;
};

inline constexpr QStringView kStripLocationElement = u"StripLocation";
inline constexpr QStringView kStripSerialNumbersElement = u"StripSerialNumbers";
inline constexpr QStringView kOutputArtistElement = u"OutputArtist";
inline constexpr QStringView kOutputCopyrightElement = u"OutputCopyright";

// The template's choices: all off when the file has none of the elements.
// Fails when the template file cannot be loaded or has no "Layers".
Result<OutputMetadataSetting> ReadOutputMetadataSetting(const QString &folder,
                                                        const QString &templateName);

// Writes the choices into the existing template file as SaveMarkWarpSetting
// writes its option: a set choice into its element (appended when missing),
// one that is off or empty removes it; nothing else changes, and nothing is
// written when the file already says so.
Status SaveOutputMetadataSetting(const QString &folder, const QString &templateName,
                                 const OutputMetadataSetting &setting);

} // namespace kw
