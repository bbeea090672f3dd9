#include "model/watermark_conf.h"

#include <algorithm>

namespace kw {

QString LogFont::faceName() const
{
    QString name;
    for (int unit = 0; unit < kFaceNameUnits; ++unit) {
        const char16_t value =
            char16_t(m_bytes[kFaceName + 2 * unit] | m_bytes[kFaceName + 2 * unit + 1] << 8);
        if (value == 0)
            break;
        name += QChar(value);
    }
    return name;
}

void LogFont::setFaceName(QStringView name)
{
    for (int unit = 0; unit < kFaceNameUnits; ++unit) {
        const char16_t value =
            unit < kFaceNameUnits - 1 && unit < name.size() ? name[unit].unicode() : 0;
        m_bytes[kFaceName + 2 * unit] = uint8_t(value);
        m_bytes[kFaceName + 2 * unit + 1] = uint8_t(value >> 8);
    }
}

int32_t LogFont::int32At(int offset) const
{
    const uint32_t value = uint32_t(m_bytes[offset]) | uint32_t(m_bytes[offset + 1]) << 8 |
                           uint32_t(m_bytes[offset + 2]) << 16 |
                           uint32_t(m_bytes[offset + 3]) << 24;
    return int32_t(value);
}

void LogFont::setInt32At(int offset, int32_t value)
{
    const uint32_t bits = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        m_bytes[offset + i] = uint8_t(bits >> (8 * i));
}

LogFont NewLayerFont()
{
    LogFont font;
    font.setHeight(-38);
    font.setWeight(400);
    font.setPitchAndFamily(34);
    font.setFaceName(u"Tahoma");
    return font;
}

namespace {

constexpr QStringView kTDTextPosNames[kTDTextPosCodeCount] = {
    u"Top Left",
    u"Top Right",
    u"Bottom Left",
    u"Bottom Right",
};
constexpr QStringView kCoverImgMethodNames[kCoverImgMethodCodeCount] = {u"Stroke", u"Fill"};

template <size_t N, typename E>
QString NameOf(const QStringView (&names)[N], E code)
{
    const auto index = int32_t(code);
    return index >= 0 && size_t(index) < N ? names[index].toString() : QString();
}

using C = CWatermarkConf;
using K = LayerFieldKind;
constexpr LayerGroup T = LayerGroup::Text;
constexpr LayerGroup I = LayerGroup::Image;

constexpr LayerField Text(QStringView element, LayerGroup group, QString C::*member)
{
    return {element, group, K::Text, member, nullptr, nullptr, nullptr, 0, 0, 0};
}
constexpr LayerField Int(QStringView element, LayerGroup group, LayerFieldKind kind,
                         int32_t C::*member, int32_t newValue, int32_t min, int32_t max)
{
    return {element, group, kind, nullptr, nullptr, member, nullptr, newValue, min, max};
}
// A coded field: its new value is a code, its range every code.
template <typename E>
constexpr LayerField CodeField(QStringView element, int32_t C::*member, E newValue, int count,
                               LayerGroup group = T)
{
    return Int(element, group, K::Code, member, int32_t(newValue), 0, count - 1);
}
constexpr LayerField Color(QStringView element, ColorRef C::*member, ColorRef newValue)
{
    return {element, T, K::Color, nullptr, nullptr, nullptr, member, newValue, 0, 0};
}

constexpr int32_t kOffsetLimit = 32767;

// One row per element, in file order.
constexpr LayerField kLayerFields[kLayerFieldCount] = {
    Text(u"textContent", T, &C::textContent),
    {u"Font", T, K::Font, nullptr, &C::Font, nullptr, nullptr, 0, 0, 0},
    Int(u"FontPointSize", T, K::Integer, &C::FontPointSize, 20, 0, 0),
    CodeField(u"Location", &C::Location, LocationCode::CenterCenter, kLocationCodeCount),
    Int(u"OffsetH", T, K::Integer, &C::OffsetH, 0, -kOffsetLimit, kOffsetLimit),
    Int(u"OffsetV", T, K::Integer, &C::OffsetV, 0, -kOffsetLimit, kOffsetLimit),
    Int(u"Rotation", T, K::Integer, &C::Rotation, 30, -360, 360),
    Int(u"Transparency", T, K::Integer, &C::Transparency, 255, 0, 255),
    Int(u"BAddShadow", T, K::Flag, &C::BAddShadow, 0, 0, 1),
    Int(u"ShadowH", T, K::Integer, &C::ShadowH, 2, -10, 10),
    Int(u"ShadowV", T, K::Integer, &C::ShadowV, 2, -10, 10),
    Int(u"ShadowBR", T, K::Integer, &C::ShadowBR, 0, 0, 10),
    Int(u"ShadowAlpha", T, K::Integer, &C::ShadowAlpha, 12, 0, 30),
    Color(u"ShadowColor", &C::ShadowColor, RgbColor(128, 128, 128)),
    Int(u"BFillText", T, K::Flag, &C::BFillText, 1, 0, 1),
    Color(u"TextColor", &C::TextColor, RgbColor(158, 51, 11)),
    Int(u"BDrawEdge", T, K::Flag, &C::BDrawEdge, 0, 0, 1),
    Color(u"EdgeColor", &C::EdgeColor, RgbColor(128, 128, 0)),
    Int(u"EdgeLineThickness", T, K::Integer, &C::EdgeLineThickness, 2, 1, 10),
    Int(u"EdgeAlpha", T, K::Integer, &C::EdgeAlpha, 255, 100, 255),
    Int(u"B3DText", T, K::Flag, &C::B3DText, 0, 0, 1),
    Color(u"TDTextColor", &C::TDTextColor, RgbColor(128, 128, 128)),
    Int(u"TDTextOffset", T, K::Integer, &C::TDTextOffset, 6, 0, 50),
    CodeField(u"TDTextPos", &C::TDTextPos, TDTextPosCode::BottomRight, kTDTextPosCodeCount),
    Int(u"BGradientText", T, K::Flag, &C::BGradientText, 0, 0, 1),
    Color(u"GradientBeginColor", &C::GradientBeginColor, RgbColor(0, 255, 255)),
    Color(u"GradientEndColor", &C::GradientEndColor, RgbColor(255, 0, 0)),
    Int(u"BCoverImage", T, K::Flag, &C::BCoverImage, 0, 0, 1),
    CodeField(u"coverImgMethod", &C::coverImgMethod, CoverImgMethodCode::Stroke,
              kCoverImgMethodCodeCount),

    Text(u"ImagePathName", I, &C::ImagePathName),
    CodeField(u"ImageLocation", &C::ImageLocation, LocationCode::CenterCenter, kLocationCodeCount,
              I),
    Int(u"ImageOffsetH", I, K::Integer, &C::ImageOffsetH, 0, -kOffsetLimit, kOffsetLimit),
    Int(u"ImageOffsetV", I, K::Integer, &C::ImageOffsetV, 0, -kOffsetLimit, kOffsetLimit),
    Int(u"ImageRotation", I, K::Integer, &C::ImageRotation, 0, -360, 360),
    Int(u"ImageTransparency", I, K::Integer, &C::ImageTransparency, 100, 0, 100),
    Int(u"ImageWidth", I, K::Integer, &C::ImageWidth, 0, 0, 0),
    Int(u"ImageHeight", I, K::Integer, &C::ImageHeight, 0, 0, 0),
};

constexpr OptionalLayerField kOptionalLayerFields[] = {
    {u"TurnAboutAnchor", T, &C::TurnAboutAnchor, 0, 1, true},
    {u"RelativeSize", T, &C::RelativeSize, 0, kMaxRelativeSize},
    {u"RelativeOffsetH", T, &C::RelativeOffsetH, -kMaxRelativeOffset, kMaxRelativeOffset},
    {u"RelativeOffsetV", T, &C::RelativeOffsetV, -kMaxRelativeOffset, kMaxRelativeOffset},
    {u"ImageTurnAboutAnchor", I, &C::ImageTurnAboutAnchor, 0, 1, true},
    {u"ImageDrawWidth", I, &C::ImageDrawWidth, 0, kMaxDrawnPictureSide},
    {u"ImageDrawHeight", I, &C::ImageDrawHeight, 0, kMaxDrawnPictureSide},
    {u"ImageRelativeWidth", I, &C::ImageRelativeWidth, 0, kMaxRelativeSize},
    {u"ImageRelativeHeight", I, &C::ImageRelativeHeight, 0, kMaxRelativeSize},
    {u"ImageRelativeOffsetH", I, &C::ImageRelativeOffsetH, -kMaxRelativeOffset, kMaxRelativeOffset},
    {u"ImageRelativeOffsetV", I, &C::ImageRelativeOffsetV, -kMaxRelativeOffset, kMaxRelativeOffset},
};

} // namespace

std::span<const OptionalLayerField> OptionalLayerFields()
{
    return kOptionalLayerFields;
}

int32_t BoundedOptionalValue(const OptionalLayerField &field, int64_t value)
{
    if (field.flag)
        return value != 0 ? 1 : 0;
    return int32_t(std::clamp<int64_t>(value, field.minimum, field.maximum));
}

QString TDTextPosName(TDTextPosCode code)
{
    return NameOf(kTDTextPosNames, code);
}
QString CoverImgMethodName(CoverImgMethodCode code)
{
    return NameOf(kCoverImgMethodNames, code);
}

std::span<const LayerField> LayerFields()
{
    return kLayerFields;
}

void ApplyNewLayerDefaults(CWatermarkConf &conf, QStringView text)
{
    for (const LayerField &field : kLayerFields) {
        if (field.text)
            conf.*field.text = QString();
        else if (field.font)
            conf.*field.font = NewLayerFont();
        else if (field.integer)
            conf.*field.integer = int32_t(field.newLayerValue);
        else if (field.color)
            conf.*field.color = ColorRef(field.newLayerValue);
    }
    for (const OptionalLayerField &field : kOptionalLayerFields)
        conf.*field.member = 0;
    conf.textContent = text.toString();
}

} // namespace kw
