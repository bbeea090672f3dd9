#include "render/colour_management.h"

#include <QtEndian>

#include <lcms2.h>

#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// A 32-bit QRgb, and a Format_RGB32 pixel, as bytes in memory.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kPixel32 = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number kPixel32 = TYPE_ARGB_8;
#endif

constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION;

struct ProfileCloser
{
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Profile Open(const QByteArray &icc)
{
    if (icc.isEmpty())
        return Profile();
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

ColourModel ModelOf(cmsHPROFILE profile)
{
    switch (cmsGetColorSpace(profile)) {
    case cmsSigRgbData:
        return ColourModel::Rgb;
    case cmsSigGrayData:
        return ColourModel::Grey;
    case cmsSigCmykData:
        return ColourModel::Cmyk;
    default:
        return ColourModel::Other;
    }
}

// Only profiles that describe a device or a colour space can take part in a
// conversion to or from sRGB.
bool Convertible(cmsHPROFILE profile)
{
    switch (cmsGetDeviceClass(profile)) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
        return true;
    default:
        return false;
    }
}

} // namespace

ColourModel ProfileColourModel(const QByteArray &icc)
{
    const Profile profile = Open(icc);
    return profile ? ModelOf(profile.get()) : ColourModel::Unknown;
}

const QByteArray &SrgbProfile()
{
    static const QByteArray bytes = [] {
        const Profile srgb(cmsCreate_sRGBProfile());
        cmsUInt32Number size = 0;
        if (!srgb || !cmsSaveProfileToMem(srgb.get(), nullptr, &size) || size == 0)
            return QByteArray();
        QByteArray out(qsizetype(size), Qt::Uninitialized);
        if (!cmsSaveProfileToMem(srgb.get(), out.data(), &size))
            return QByteArray();
        return out;
    }();
    return bytes;
}

QByteArray ProfileForRgbOutput(const QByteArray &source)
{
    if (source.isEmpty())
        return {};
    return ProfileColourModel(source) == ColourModel::Rgb ? source : SrgbProfile();
}

Result<SrgbConverter> SrgbConverter::Make(const QByteArray &icc, SourcePixels pixels)
{
    const Profile profile = Open(icc);
    if (!profile)
        return Failure{u"the colour profile cannot be read"_s};
    const ColourModel want = pixels == SourcePixels::Grey8 ? ColourModel::Grey : ColourModel::Cmyk;
    if (ModelOf(profile.get()) != want || !Convertible(profile.get()))
        return Failure{u"the colour profile does not describe the photo's pixels"_s};
    const Profile srgb(cmsCreate_sRGBProfile());
    const cmsUInt32Number in = pixels == SourcePixels::Grey8   ? TYPE_GRAY_8
                               : pixels == SourcePixels::Cmyk8 ? TYPE_CMYK_8
                                                               : TYPE_CMYK_8_REV;
    void *transform =
        srgb ? cmsCreateTransform(profile.get(), in, srgb.get(), kPixel32, kIntent, kFlags)
             : nullptr;
    if (!transform)
        return Failure{u"the colour profile cannot convert to sRGB"_s};
    return SrgbConverter(transform);
}

SrgbConverter::SrgbConverter(SrgbConverter &&other) noexcept
    : m_transform(std::exchange(other.m_transform, nullptr))
{}

SrgbConverter &SrgbConverter::operator=(SrgbConverter &&other) noexcept
{
    std::swap(m_transform, other.m_transform);
    return *this;
}

SrgbConverter::~SrgbConverter()
{
    if (m_transform)
        cmsDeleteTransform(m_transform);
}

void SrgbConverter::convert(const uchar *samples, qsizetype bytesPerLine, int width, int rows,
                            QImage &out, int firstRow) const
{
    for (int y = 0; y < rows; ++y) {
        uchar *line = out.scanLine(firstRow + y);
        // The transform writes colour only: the alpha byte stays opaque.
        std::memset(line, 0xff, size_t(width) * 4);
        cmsDoTransform(m_transform, samples + y * bytesPerLine, line, cmsUInt32Number(width));
    }
}

Result<std::vector<QRgb>> SrgbColoursInProfile(std::span<const QRgb> colours, const QByteArray &icc)
{
    const Profile profile = Open(icc);
    if (!profile || ModelOf(profile.get()) != ColourModel::Rgb || !Convertible(profile.get()))
        return Failure{u"not an RGB colour profile"_s};
    const Profile srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM transform =
        srgb ? cmsCreateTransform(srgb.get(), kPixel32, profile.get(), kPixel32, kIntent,
                                  kFlags | cmsFLAGS_COPY_ALPHA)
             : nullptr;
    if (!transform)
        return Failure{u"the colour profile cannot convert from sRGB"_s};
    std::vector<QRgb> out(colours.size());
    if (!colours.empty())
        cmsDoTransform(transform, colours.data(), out.data(), cmsUInt32Number(colours.size()));
    cmsDeleteTransform(transform);
    return out;
}

} // namespace kw
