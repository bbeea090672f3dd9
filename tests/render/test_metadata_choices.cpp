#include "render/metadata_choices.h"

#include "model/template_file.h"
#include "model/template_library.h"
#include "photo_test_files.h"
#include "render/batch_engine.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using kw::OutputMetadataSetting;

using namespace Qt::StringLiterals;

namespace {

// A camera JPEG with a position, serial numbers and its own author, in EXIF
// and XMP.
QByteArray CameraJpeg()
{
    const QByteArray plain = kw::test::Encode(kw::test::PhotoLikeImage(160, 100), "jpeg");
    return kw::test::WithMetadata(plain, [](Exiv2::Image &image) {
        Exiv2::ExifData &exif = image.exifData();
        exif["Exif.Image.Make"] = "Canon";
        exif["Exif.Image.Model"] = "Canon EOS R5";
        exif["Exif.Image.Artist"] = "Camera Owner";
        exif["Exif.Photo.DateTimeOriginal"] = "2022:08:09 10:11:12";
        exif["Exif.Photo.BodySerialNumber"] = "012345678901";
        exif["Exif.Photo.LensSerialNumber"] = "9876543";
        exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2400/100";
        exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
        exif["Exif.GPSInfo.GPSLongitude"] = "2/1 21/1 300/100";
        Exiv2::XmpData &xmp = image.xmpData();
        xmp["Xmp.exif.GPSLatitude"] = "48,51.4N";
        xmp["Xmp.aux.SerialNumber"] = "012345678901";
        xmp["Xmp.dc.creator"] = "Camera Owner";
        xmp["Xmp.dc.title"] = "lang=x-default Tower";
    });
}

struct ReadBack
{
    std::map<std::string, std::string> exif, xmp;
    bool has(const char *key) const
    {
        return exif.count(key) || xmp.count(key) ||
               std::any_of(exif.begin(), exif.end(),
                           [&](const auto &e) { return e.first.rfind(key, 0) == 0; });
    }
};

ReadBack Read(const QString &path)
{
    ReadBack r;
    kw::test::WithMetadata(kw::test::ReadFileBytes(path), [&](Exiv2::Image &image) {
        for (const Exiv2::Exifdatum &d : image.exifData())
            r.exif[d.key()] = d.toString();
        for (const Exiv2::Xmpdatum &d : image.xmpData())
            r.xmp[d.key()] = d.toString();
    });
    return r;
}

class MetadataChoices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kw::SeedFirstRun(m_templates).ok());
        m_settings.templatesFolder = m_templates;
        m_settings.templateName = u"Demo 1"_s;
        m_settings.preferences.outputFolderOpts = 1;
        m_settings.preferences.outputFolderPath = m_dir.filePath(u"out"_s);
        QDir().mkpath(m_dir.filePath(u"in"_s));
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(u"in/"_s + name);
        EXPECT_TRUE(kw::test::WriteFileBytes(path, bytes));
        return path;
    }
    kw::BatchFileResult process(const QString &path, int listPosition = 0)
    {
        const kw::Result<kw::SharedTemplate> mark =
            kw::LoadTemplateForRender(m_templates, m_settings.templateName);
        EXPECT_TRUE(mark) << mark.error().toStdString();
        kw::ProtectedFiles sources;
        sources.add(path);
        const std::vector<kw::PlannedOutput> plan =
            kw::PlanOutputs({path}, m_settings.preferences, kw::LookupOnDisk(sources));
        const kw::BatchFileResult result =
            kw::ProcessBatchFile(path, plan.front(), m_settings, *mark, &sources, listPosition);
        EXPECT_TRUE(result.written()) << result.error.toStdString();
        return result;
    }

    kw::test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
    QString m_templates = m_dir.filePath(u"templates"_s);
    kw::BatchSettings m_settings;
};

TEST_F(MetadataChoices, WithoutChoicesEverythingIsCarried)
{
    const ReadBack out = Read(process(write(u"a.jpg"_s, CameraJpeg())).outputPath);
    EXPECT_TRUE(out.has("Exif.GPSInfo.GPSLatitude"));
    EXPECT_TRUE(out.has("Exif.Photo.BodySerialNumber"));
    EXPECT_TRUE(out.has("Xmp.aux.SerialNumber"));
    EXPECT_EQ(out.exif.at("Exif.Image.Artist"), "Camera Owner");
}

// Both JPEG modes (re-encoded, and the original kept outside the mark) and a
// PNG output follow the template.
TEST_F(MetadataChoices, LocationAndSerialNumbersGoArtistAndCopyrightAreWritten)
{
    OutputMetadataSetting choices;
    choices.stripLocation = true;
    choices.stripSerialNumbers = true;
    choices.artist = u"Jane Doe"_s;
    choices.copyright = u"(c) {year} Jane Doe, #{counter:2}"_s;
    ASSERT_TRUE(kw::SaveOutputMetadataSetting(m_templates, u"Demo 1"_s, choices));
    const QString source = write(u"b.jpg"_s, CameraJpeg());

    struct Mode
    {
        const char *what;
        kw::JpegOutputMode jpeg;
        kw::OutputFormatCode format;
    };
    for (const Mode mode :
         {Mode{"re-encoded", kw::JpegOutputMode{}, kw::OutputFormatCode::Jpeg},
          Mode{"kept", kw::JpegOutputMode::KeepOriginal, kw::OutputFormatCode::Jpeg},
          Mode{"PNG", kw::JpegOutputMode{}, kw::OutputFormatCode::Png}}) {
        SCOPED_TRACE(mode.what);
        m_settings.preferences.jpegOutput.mode = mode.jpeg;
        m_settings.preferences.outputFormat = int32_t(mode.format);
        QDir(m_dir.filePath(u"out"_s)).removeRecursively();
        const kw::BatchFileResult result = process(source, 4);
        EXPECT_FALSE(result.warning.contains(u"could not be kept"_s))
            << result.warning.toStdString();
        const ReadBack out = Read(result.outputPath);
        EXPECT_FALSE(out.has("Exif.GPSInfo"));
        EXPECT_FALSE(out.has("Exif.Image.GPSTag"));
        EXPECT_FALSE(out.has("Xmp.exif.GPSLatitude"));
        EXPECT_FALSE(out.has("Exif.Photo.BodySerialNumber"));
        EXPECT_FALSE(out.has("Exif.Photo.LensSerialNumber"));
        EXPECT_FALSE(out.has("Xmp.aux.SerialNumber"));
        EXPECT_EQ(out.exif.at("Exif.Image.Artist"), "Jane Doe");
        EXPECT_EQ(out.exif.at("Exif.Image.Copyright"), "(c) 2022 Jane Doe, #05");
        EXPECT_EQ(out.xmp.at("Xmp.dc.creator"), "Jane Doe");
        EXPECT_EQ(out.xmp.at("Xmp.dc.rights"), "lang=\"x-default\" (c) 2022 Jane Doe, #05");
        // What the template does not touch stays.
        EXPECT_EQ(out.exif.at("Exif.Image.Model"), "Canon EOS R5");
        EXPECT_EQ(out.xmp.at("Xmp.dc.title"), "lang=\"x-default\" Tower");
    }
}

TEST_F(MetadataChoices, AnAuthorIsWrittenIntoAPhotoWithoutMetadata)
{
    OutputMetadataSetting choices;
    choices.artist = u"{artist|Jane Doe}"_s;
    ASSERT_TRUE(kw::SaveOutputMetadataSetting(m_templates, u"Demo 1"_s, choices));
    const ReadBack out = Read(
        process(write(u"plain.jpg"_s, kw::test::Encode(kw::test::PhotoLikeImage(80, 60), "jpeg")))
            .outputPath);
    EXPECT_EQ(out.exif.at("Exif.Image.Artist"), "Jane Doe");
    EXPECT_EQ(out.xmp.at("Xmp.dc.creator"), "Jane Doe");
    EXPECT_FALSE(out.has("Exif.Image.Copyright"));
}

TEST_F(MetadataChoices, UnreadableBlocksGoWholeWhenSomethingMustBeRemoved)
{
    kw::PhotoMetadata damaged;
    damaged.exif = "II*\0garbage that is no EXIF";
    damaged.xmp = "<not xmp";
    OutputMetadataSetting strip;
    strip.stripLocation = true;
    QStringList warnings;
    const kw::PhotoMetadata out =
        kw::ApplyOutputMetadataSetting(damaged, strip, kw::PhotoFacts(), warnings);
    EXPECT_TRUE(out.exif.isEmpty());
    EXPECT_TRUE(out.xmp.isEmpty());
    EXPECT_EQ(warnings.size(), 2) << warnings.join(u"; "_s).toStdString();
}

} // namespace
