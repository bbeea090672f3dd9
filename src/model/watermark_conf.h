#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <span>

namespace kw {

// A colour as the layer files store it: red in the lowest byte, green in the
// next, blue in the third, the top byte 0. Alpha is never part of a colour;
// it comes from the layer's separate alpha fields.
using ColorRef = uint32_t;

constexpr ColorRef RgbColor(uint8_t red, uint8_t green, uint8_t blue)
{
    return ColorRef(red) | ColorRef(green) << 8 | ColorRef(blue) << 16;
}
constexpr uint8_t RedOf(ColorRef color)
{
    return uint8_t(color);
}
constexpr uint8_t GreenOf(ColorRef color)
{
    return uint8_t(color >> 8);
}
constexpr uint8_t BlueOf(ColorRef color)
{
    return uint8_t(color >> 16);
}

// The font of a text layer, kept as the exact 92-byte record the layer file
// lists byte by byte: five 32-bit little-endian signed integers (height,
// width, escapement, orientation, weight), eight single bytes (italic,
// underline, strike-out, character set, output precision, clip precision,
// quality, pitch and family) and the face name as 32 little-endian UTF-16
// units ending in a zero unit. Bytes the accessors do not cover (for example
// units after the face name's terminator) are kept as they are.
class LogFont
{
public:
    static constexpr int kSize = 92;
    static constexpr int kFaceNameUnits = 32;
    using Bytes = std::array<uint8_t, kSize>;

    // All 92 bytes zero.
    LogFont() = default;
    explicit LogFont(const Bytes &bytes) : m_bytes(bytes) {}

    const Bytes &bytes() const { return m_bytes; }
    Bytes &bytes() { return m_bytes; }

    int32_t height() const { return int32At(kHeight); }
    int32_t width() const { return int32At(kWidth); }
    int32_t escapement() const { return int32At(kEscapement); }
    int32_t orientation() const { return int32At(kOrientation); }
    int32_t weight() const { return int32At(kWeight); }
    uint8_t italic() const { return m_bytes[kItalic]; }
    uint8_t underline() const { return m_bytes[kUnderline]; }
    uint8_t strikeOut() const { return m_bytes[kStrikeOut]; }
    uint8_t charSet() const { return m_bytes[kCharSet]; }
    uint8_t outPrecision() const { return m_bytes[kOutPrecision]; }
    uint8_t clipPrecision() const { return m_bytes[kClipPrecision]; }
    uint8_t quality() const { return m_bytes[kQuality]; }
    uint8_t pitchAndFamily() const { return m_bytes[kPitchAndFamily]; }
    // The face name up to its first zero unit (all 32 units when none is 0).
    QString faceName() const;

    void setHeight(int32_t value) { setInt32At(kHeight, value); }
    void setWidth(int32_t value) { setInt32At(kWidth, value); }
    void setEscapement(int32_t value) { setInt32At(kEscapement, value); }
    void setOrientation(int32_t value) { setInt32At(kOrientation, value); }
    void setWeight(int32_t value) { setInt32At(kWeight, value); }
    void setItalic(uint8_t value) { m_bytes[kItalic] = value; }
    void setUnderline(uint8_t value) { m_bytes[kUnderline] = value; }
    void setStrikeOut(uint8_t value) { m_bytes[kStrikeOut] = value; }
    void setCharSet(uint8_t value) { m_bytes[kCharSet] = value; }
    void setOutPrecision(uint8_t value) { m_bytes[kOutPrecision] = value; }
    void setClipPrecision(uint8_t value) { m_bytes[kClipPrecision] = value; }
    void setQuality(uint8_t value) { m_bytes[kQuality] = value; }
    void setPitchAndFamily(uint8_t value) { m_bytes[kPitchAndFamily] = value; }
    // Stores at most 31 units of `name` and fills the rest of the 32 units
    // with zeros, so the name always ends in a zero unit.
    void setFaceName(QStringView name);

    friend bool operator==(const LogFont &, const LogFont &) = default;

private:
    enum Offset : int {
        kHeight = 0,
        kWidth = 4,
        kEscapement = 8,
        kOrientation = 12,
        kWeight = 16,
        kItalic = 20,
        kUnderline,
        kStrikeOut,
        kCharSet,
        kOutPrecision,
        kClipPrecision,
        kQuality,
        kPitchAndFamily,
        kFaceName = 28,
    };
    static_assert(kFaceName + 2 * kFaceNameUnits == kSize);

    int32_t int32At(int offset) const;
    void setInt32At(int offset, int32_t value);

    Bytes m_bytes{};
};

// The font every new layer starts with: face "Tahoma", height -38, weight 400,
// pitch and family 34, every other member 0.
LogFont NewLayerFont();

// Anchor of a layer's text or picture on the photo (Location, ImageLocation).
enum class LocationCode : int32_t {
    TopLeft = 0,
    TopCenter = 1,
    TopRight = 2,
    CenterLeft = 3,
    CenterCenter = 4,
    CenterRight = 5,
    BottomLeft = 6,
    BottomCenter = 7,
    BottomRight = 8,
};
inline constexpr int kLocationCodeCount = 9;

// Direction of the 3D extrusion (TDTextPos).
enum class TDTextPosCode : int32_t {
    TopLeft = 0,
    TopRight = 1,
    BottomLeft = 2,
    BottomRight = 3,
};
inline constexpr int kTDTextPosCodeCount = 4;

// How the copies of a text repeated over the photo are drawn (coverImgMethod).
enum class CoverImgMethodCode : int32_t {
    Stroke = 0, // outlined with a pen
    Fill = 1,   // filled
};
inline constexpr int kCoverImgMethodCodeCount = 2;

// English names of the codes, as the editor's lists show them; empty for a
// code out of range. (The location names are built-in interface texts:
// LocationName in i18n/string_table.h.)
QString TDTextPosName(TDTextPosCode code);
QString CoverImgMethodName(CoverImgMethodCode code);

// The complete settings of one layer: a text part and an image part, both
// always present. Every member is named after the element of the layer file
// that stores it. The record enforces no range: it keeps whatever integer a
// file holds. A default-constructed record has every integer and colour 0,
// both texts empty and all 92 font bytes zero.
//
// A plain value: copies share nothing.
class CWatermarkConf
{
public:
    // Text part, in the layer file's order.
    QString textContent;
    kw::LogFont Font;
    int32_t FontPointSize = 0; // stored only; drawing takes the size from Font
    int32_t Location = 0;      // kw::LocationCode
    int32_t OffsetH = 0;       // pixels
    int32_t OffsetV = 0;       // pixels
    int32_t Rotation = 0;      // degrees
    int32_t Transparency = 0;  // alpha, 0 invisible to 255 opaque
    int32_t BAddShadow = 0;    // flag: any non-zero value is on
    int32_t ShadowH = 0;
    int32_t ShadowV = 0;
    int32_t ShadowBR = 0; // blur radius
    int32_t ShadowAlpha = 0;
    kw::ColorRef ShadowColor = 0;
    int32_t BFillText = 0;
    kw::ColorRef TextColor = 0;
    int32_t BDrawEdge = 0;
    kw::ColorRef EdgeColor = 0;
    int32_t EdgeLineThickness = 0;
    int32_t EdgeAlpha = 0;
    int32_t B3DText = 0;
    kw::ColorRef TDTextColor = 0;
    int32_t TDTextOffset = 0; // number of stacked copies
    int32_t TDTextPos = 0;    // kw::TDTextPosCode
    int32_t BGradientText = 0;
    kw::ColorRef GradientBeginColor = 0;
    kw::ColorRef GradientEndColor = 0;
    int32_t BCoverImage = 0;
    int32_t coverImgMethod = 0; // kw::CoverImgMethodCode

    // Image part, in the layer file's order.
    QString ImagePathName; // empty: no picture
    int32_t ImageLocation = 0;
    int32_t ImageOffsetH = 0;
    int32_t ImageOffsetV = 0;
    int32_t ImageRotation = 0;
    int32_t ImageTransparency = 0; // percent, 100 opaque
    int32_t ImageWidth = 0;        // stored only
    int32_t ImageHeight = 0;       // stored only

    // Settings added after the fixed fields, each stored only when it is not
    // 0 (OptionalLayerFields()); 0 means what a file without them means.
    // Text part:
    int32_t TurnAboutAnchor = 0; // flag: turn about the mark's centre and place the turned box
    int32_t RelativeSize = 0;    // hundredths of a per cent of the shorter side; 0: pixels
    int32_t RelativeOffsetH = 0; // hundredths of a per cent of the width
    int32_t RelativeOffsetV = 0; // hundredths of a per cent of the height
    // Image part:
    int32_t ImageTurnAboutAnchor = 0;
    int32_t ImageDrawWidth = 0;       // pixels; 0: from the height, or the natural width
    int32_t ImageDrawHeight = 0;      // pixels; 0: from the width, or the natural height
    int32_t ImageRelativeWidth = 0;   // hundredths of a per cent of the shorter side; 0: pixels
    int32_t ImageRelativeHeight = 0;  // likewise; 0: keeps the picture's proportions
    int32_t ImageRelativeOffsetH = 0; // hundredths of a per cent of the width
    int32_t ImageRelativeOffsetV = 0; // hundredths of a per cent of the height

    friend bool operator==(const CWatermarkConf &, const CWatermarkConf &) = default;
};

// Every field of a layer file, described once. The table drives writing,
// reading, in-place saving and the new-layer defaults.
enum class LayerGroup { Text, Image };

enum class LayerFieldKind {
    Text,    // the string itself
    Font,    // the 92 font bytes as a comma-separated list
    Integer, // signed decimal
    Flag,    // 0 or 1; any non-zero value is on
    Code,    // one of the codes above, 0 .. editorMax
    Color,   // the ColorRef as signed decimal
};

struct LayerField
{
    QStringView element; // element name, compared with case
    LayerGroup group;
    LayerFieldKind kind;
    // Exactly one member pointer is set, matching the kind.
    QString CWatermarkConf::*text = nullptr;
    LogFont CWatermarkConf::*font = nullptr;
    int32_t CWatermarkConf::*integer = nullptr; // Integer, Flag and Code
    ColorRef CWatermarkConf::*color = nullptr;
    // New-layer value of Integer, Flag, Code and Color fields (a colour's
    // ColorRef bits). Text fields start from the caller's text (textContent)
    // or empty; Font starts from NewLayerFont().
    int64_t newLayerValue = 0;
    // The range the editor offers for Integer, Flag and Code fields. The
    // record itself does not enforce it. Both 0 for fields no control edits
    // and for Text, Font and Color fields.
    int32_t editorMin = 0;
    int32_t editorMax = 0;
};

inline constexpr int kLayerFieldCount = 37;
inline constexpr int kTextFieldCount = 29;
inline constexpr int kImageFieldCount = 8;

// The 37 fields in file order: the 29 of the text part, then the 8 of the
// image part.
std::span<const LayerField> LayerFields();

// Settings added to the layer file after its fixed fields. Each is an
// element of its group that a file holds only when the value is not 0, so a
// file without it means what it always meant. A reader finds it wherever it
// stands in its group (the first of equal elements counts) and keeps the
// value within [minimum, maximum]; a flag reads any non-zero value as 1. A
// writer appends it at the end of its group and removes it when it returns
// to 0.
struct OptionalLayerField
{
    QStringView element;
    LayerGroup group;
    int32_t CWatermarkConf::*member;
    int32_t minimum;
    int32_t maximum;
    bool flag = false;
};

// Relative sizes are kept below ten times the photo's shorter side and
// relative offsets within the photo, in hundredths of a per cent.
inline constexpr int32_t kMaxRelativeSize = 100000;
inline constexpr int32_t kMaxRelativeOffset = 10000;
// Drawn picture sizes in pixels.
inline constexpr int32_t kMaxDrawnPictureSide = 65535;

std::span<const OptionalLayerField> OptionalLayerFields();

// The value an optional field is kept as: within its bounds, a flag 0 or 1.
int32_t BoundedOptionalValue(const OptionalLayerField &field, int64_t value);

// Sets every field of `conf` to its new-layer value, `textContent` to `text`.
// The optional fields are 0.
void ApplyNewLayerDefaults(CWatermarkConf &conf, QStringView text);

// The texts new layers are created with: the first-run template's layer, and
// the first layer of a template the user adds.
inline constexpr QStringView kFirstRunLayerText = u"Kelvane Watermark";
inline constexpr QStringView kAddedLayerText = u"Kelvane Watermark For Win";

} // namespace kw
