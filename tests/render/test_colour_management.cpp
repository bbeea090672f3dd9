#include "render/colour_management.h"

#include "model/template_library.h"
#include "photo_test_files.h"
#include "render/jpeg_keep_original.h"
#include "render/mark_colours.h"
#include "render/output_writer.h"
#include "render/photo_input.h"
#include "render/watermark_renderer.h"
#include "support/colour_profiles.h"
#include "support/test_sandbox.h"

#include <QBuffer>
#include <QColorSpace>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <lcms2.h>

#include <cmath>
#include <map>

using kw::ColourModel;
using kw::ProfileColourModel;
using kw::test::MakeCmykProfile;
using kw::test::Saved;

using namespace Qt::StringLiterals;

namespace {

// ------------------------------------------------------------ test profiles

QByteArray MakeLinearGreyProfile()
{
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return Saved(grey);
}

// Adobe RGB (1998)-like primaries with gamma 2.2.
QByteArray MakeWideRgbProfile()
{
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve *gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve *curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE rgb = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    return Saved(rgb);
}

// ------------------------------------------------------------ conversions

// The colour of `samples` (of the format `type`) under `profile`, in Lab,
// as the test's own lcms2 transform gives it.
cmsCIELab LabOf(const QByteArray &profile, cmsUInt32Number type, const void *samples)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t = cmsCreateTransform(in, type, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_BLACKPOINTCOMPENSATION);
    cmsCIELab out = {};
    cmsDoTransform(t, samples, &out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(lab);
    cmsCloseProfile(in);
    return out;
}

// The sRGB pixel the photo's samples convert to.
QRgb SrgbOf(const QByteArray &profile, cmsUInt32Number type, const void *samples)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, type, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_BLACKPOINTCOMPENSATION);
    cmsUInt8Number rgb[3] = {};
    cmsDoTransform(t, samples, rgb, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(in);
    return qRgb(rgb[0], rgb[1], rgb[2]);
}

int Distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

double DeltaE(const cmsCIELab &a, const cmsCIELab &b)
{
    return cmsDeltaE(&a, &b);
}

// A flat JPEG of `components` (1 grey, 4 CMYK as Adobe writes it: inverted,
// with its APP14 marker) with `profile` embedded.
QByteArray FlatJpeg(int components, const uchar *sample, const QByteArray &profile, int width = 64,
                    int height = 48)
{
    jpeg_compress_struct cinfo = {};
    jpeg_error_mgr error = {};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 4 ? JCS_CMYK : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.isEmpty())
        jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET *>(profile.constData()),
                               unsigned(profile.size()));
    std::vector<uchar> row(size_t(width * components));
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < components; ++c)
            row[size_t(x * components + c)] = components == 4 ? uchar(255 - sample[c]) : sample[c];
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

class ColourManagement : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(kw::test::WriteFileBytes(path, bytes));
        return path;
    }
    kw::DecodedPhoto load(const QString &path)
    {
        kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path);
        EXPECT_TRUE(photo) << photo.error().toStdString();
        return photo ? std::move(photo).value() : kw::DecodedPhoto();
    }
    // Writes `photo` in `format` and reads the file back with its profile.
    QImage written(const kw::DecodedPhoto &photo, kw::OutputFormatCode format)
    {
        kw::CPreferences prefs;
        prefs.outputFolderOpts = 1;
        prefs.outputFolderPath = m_dir.filePath(u"out"_s);
        prefs.outputFormat = int32_t(format);
        const kw::Result<kw::WrittenOutput> out = kw::WriteOutput(photo.image, photo, prefs);
        EXPECT_TRUE(out) << out.error().toStdString();
        return out ? QImage(out->path) : QImage();
    }

    kw::test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
};

TEST_F(ColourManagement, TellsProfilesApartAndKeepsOnlyRgbOnesForRgbOutput)
{
    const QByteArray cmyk = MakeCmykProfile();
    const QByteArray grey = MakeLinearGreyProfile();
    const QByteArray wide = MakeWideRgbProfile();
    EXPECT_EQ(ProfileColourModel(cmyk), ColourModel::Cmyk);
    EXPECT_EQ(ProfileColourModel(grey), ColourModel::Grey);
    EXPECT_EQ(ProfileColourModel(wide), ColourModel::Rgb);
    EXPECT_EQ(ProfileColourModel(kw::SrgbProfile()), ColourModel::Rgb);
    EXPECT_EQ(ProfileColourModel("not a profile"), ColourModel::Unknown);
    EXPECT_EQ(ProfileColourModel({}), ColourModel::Unknown);

    EXPECT_EQ(kw::ProfileForRgbOutput(wide), wide);
    EXPECT_EQ(kw::ProfileForRgbOutput(cmyk), kw::SrgbProfile());
    EXPECT_EQ(kw::ProfileForRgbOutput(grey), kw::SrgbProfile());
    EXPECT_EQ(kw::ProfileForRgbOutput("damaged"), kw::SrgbProfile());
    EXPECT_TRUE(kw::ProfileForRgbOutput({}).isEmpty());
}

// A CMYK and a grey source come out with pixels and profile that agree with
// the source: the output pixel, read through the output's profile, is the
// source's colour read through its own.
TEST_F(ColourManagement, CmykAndGreySourcesComeOutAsTheirProfilesSay)
{
    struct Source
    {
        const char *name;
        int components;
        std::array<uchar, 4> sample; // ink for CMYK (0 none), level for grey
        QByteArray profile;
        cmsUInt32Number type;
    };
    const Source sources[] = {
        {"cmyk.jpg", 4, {26, 153, 77, 13}, MakeCmykProfile(), TYPE_CMYK_8},
        {"grey.jpg", 1, {100, 0, 0, 0}, MakeLinearGreyProfile(), TYPE_GRAY_8},
    };
    for (const Source &source : sources) {
        SCOPED_TRACE(source.name);
        const QString path =
            write(QString::fromLatin1(source.name),
                  FlatJpeg(source.components, source.sample.data(), source.profile));
        const kw::DecodedPhoto photo = load(path);
        ASSERT_FALSE(photo.image.isNull());
        const QRgb expected = SrgbOf(source.profile, source.type, source.sample.data());
        const QRgb decoded = photo.image.pixel(32, 24);
        EXPECT_LE(Distance(decoded, expected), 2) << std::hex << decoded << " against " << expected;
        // Qt's own decoding (no profile) would be far off: the test means something.
        const QRgb plain =
            QImage::fromData(FlatJpeg(source.components, source.sample.data(), {})).pixel(32, 24);
        EXPECT_GT(Distance(plain, expected), 20);

        const cmsCIELab want = LabOf(source.profile, source.type, source.sample.data());
        for (const auto format : {kw::OutputFormatCode::Jpeg, kw::OutputFormatCode::Png,
                                  kw::OutputFormatCode::Tiff, kw::OutputFormatCode::Webp}) {
            SCOPED_TRACE(int(format));
            const QImage out = written(photo, format);
            ASSERT_FALSE(out.isNull());
            const QByteArray outProfile = out.colorSpace().iccProfile();
            ASSERT_EQ(ProfileColourModel(outProfile), ColourModel::Rgb);
            const QRgb pixel = out.pixel(32, 24);
            const cmsUInt8Number rgb[3] = {cmsUInt8Number(qRed(pixel)),
                                           cmsUInt8Number(qGreen(pixel)),
                                           cmsUInt8Number(qBlue(pixel))};
            EXPECT_LT(DeltaE(LabOf(outProfile, TYPE_RGB_8, rgb), want), 2.5);
        }
    }
}

TEST_F(ColourManagement, ARgbProfileIsCarriedAndAGreyOneWithoutConversionIsReplaced)
{
    const QByteArray wide = MakeWideRgbProfile();
    QImage picture = kw::test::PhotoLikeImage(64, 48);
    picture.setColorSpace(QColorSpace::fromIccProfile(wide));
    ASSERT_TRUE(picture.colorSpace().isValid());
    const kw::DecodedPhoto photo = load(write(u"wide.jpg"_s, kw::test::Encode(picture, "jpeg")));
    ASSERT_EQ(photo.metadata.iccProfile, wide);
    for (const auto format : {kw::OutputFormatCode::Jpeg, kw::OutputFormatCode::Png}) {
        const QImage out = written(photo, format);
        EXPECT_EQ(out.colorSpace().iccProfile(), wide);
    }

    // A grey profile on a JPEG that holds RGB pixels describes nothing the
    // output holds: sRGB takes its place.
    kw::DecodedPhoto mislabelled = photo;
    mislabelled.metadata.iccProfile = MakeLinearGreyProfile();
    const QImage out = written(mislabelled, kw::OutputFormatCode::Jpeg);
    EXPECT_EQ(out.colorSpace().iccProfile(), kw::SrgbProfile());

    // The mode that keeps the original JPEG follows the same rule.
    const QString greyTagged =
        write(u"grey-tagged.jpg"_s,
              kw::test::WithMetadata(kw::test::Encode(picture, "jpeg"), [](Exiv2::Image &image) {
                  const QByteArray grey = MakeLinearGreyProfile();
                  Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte *>(grey.data()),
                                        long(grey.size()));
                  image.setIccProfile(buffer);
              }));
    ASSERT_EQ(ProfileColourModel(load(greyTagged).metadata.iccProfile), ColourModel::Grey);
    kw::LoadedTemplate mark;
    kw::LoadedLayer layer;
    kw::ApplyNewLayerDefaults(layer.conf, u"Kept");
    mark.layers.push_back(layer);
    QBuffer kept;
    kept.open(QIODevice::WriteOnly);
    const kw::Result<kw::KeptJpeg> encoded =
        kw::EncodeKeepingOriginalJpeg(greyTagged, mark, false, &kept);
    ASSERT_TRUE(encoded) << encoded.error().toStdString();
    EXPECT_EQ(QImage::fromData(kept.data()).colorSpace().iccProfile(), kw::SrgbProfile());
}

// The mark's sRGB colours are turned into the photo's RGB profile: pure red
// on an Adobe RGB photo is drawn as Adobe RGB's value for sRGB red.
TEST_F(ColourManagement, MarkColoursAreTurnedIntoThePhotosProfile)
{
    const QByteArray wide = MakeWideRgbProfile();
    const QColorSpace space = QColorSpace::fromIccProfile(wide);
    const QRgb red = qRgb(255, 0, 0);
    const kw::Result<std::vector<QRgb>> mapped = kw::SrgbColoursInProfile({&red, 1}, wide);
    ASSERT_TRUE(mapped);
    const QRgb inWide = mapped->front();
    EXPECT_GT(Distance(inWide, red), 20); // a test that means something
    const cmsUInt8Number srgbRed[3] = {255, 0, 0};
    const cmsUInt8Number wideRed[3] = {cmsUInt8Number(qRed(inWide)), cmsUInt8Number(qGreen(inWide)),
                                       cmsUInt8Number(qBlue(inWide))};
    EXPECT_LT(
        DeltaE(LabOf(kw::SrgbProfile(), TYPE_RGB_8, srgbRed), LabOf(wide, TYPE_RGB_8, wideRed)),
        1.5);

    kw::LoadedTemplate mark;
    kw::LoadedLayer layer;
    kw::ApplyNewLayerDefaults(layer.conf, u"IIIIII");
    layer.conf.TextColor = kw::RgbColor(255, 0, 0);
    layer.conf.Font.setHeight(-60);
    layer.conf.BAddShadow = 0;
    layer.conf.BDrawEdge = 0;
    layer.conf.BFillText = 1;
    layer.conf.Transparency = 255;
    mark.layers.push_back(layer);
    // The colour most pixels of the mark take: its fill.
    const auto fill = [&](const QColorSpace &canvasSpace) {
        QImage canvas(300, 200, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        canvas.setColorSpace(canvasSpace);
        kw::CWatermarkRenderer::DrawTemplate(canvas, 300, 200, mark);
        std::map<QRgb, int> counts;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb p = canvas.pixel(x, y) | 0xff000000u;
                if (p != 0xffffffffu)
                    ++counts[p];
            }
        }
        QRgb best = 0;
        int most = 0;
        for (const auto &[colour, count] : counts) {
            if (count > most) {
                best = colour;
                most = count;
            }
        }
        return best;
    };
    EXPECT_EQ(fill(QColorSpace()), red);
    EXPECT_EQ(fill(QColorSpace(QColorSpace::SRgb)), red);
    EXPECT_LE(Distance(fill(space), inWide), 1);
}

} // namespace
