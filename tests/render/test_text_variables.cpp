#include "render/text_variables.h"

#include "model/layer_file.h"
#include "model/template_library.h"
#include "photo_test_files.h"
#include "render/batch_engine.h"
#include "render/watermark_renderer.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using kw::ExpandTextVariables;
using kw::PhotoFacts;
using kw::UnknownTextVariables;

using namespace Qt::StringLiterals;

namespace {

PhotoFacts FullFacts()
{
    PhotoFacts facts;
    facts.fileName = u"IMG_0042"_s;
    facts.taken = QDateTime(QDate(2023, 7, 14), QTime(18, 5, 9));
    facts.fileTime = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5));
    facts.make = u"Canon"_s;
    facts.model = u"Canon EOS R5"_s;
    facts.lens = u"RF24-70mm F2.8 L IS USM"_s;
    facts.artist = u"Jane Doe"_s;
    facts.copyright = u"(c) Jane Doe"_s;
    facts.counter = 7;
    facts.size = QSize(800, 533);
    return facts;
}

struct ExpansionCase
{
    const char16_t *text;
    const char16_t *withFacts;   // expanded with FullFacts()
    const char16_t *withNothing; // expanded with empty facts
};

TEST(TextVariables, ExpandsEveryVariableEscapeAndFallback)
{
    const ExpansionCase cases[] = {
        {u"no braces at all", u"no braces at all", u"no braces at all"},
        {u"{filename}", u"IMG_0042", u""},
        {u"{FileName}.jpg", u"IMG_0042.jpg", u".jpg"},
        {u"{date}", u"2023-07-14", u""},
        {u"{date:d MMMM yyyy, HH:mm}", u"14 July 2023, 18:05", u""},
        {u"{date:}", u"2023-07-14", u""},
        {u"(c) {year} {artist}", u"(c) 2023 Jane Doe", u"(c)  "},
        {u"{camera} + {lens}", u"Canon EOS R5 + RF24-70mm F2.8 L IS USM", u" + "},
        {u"{copyright}", u"(c) Jane Doe", u""},
        {u"#{counter} #{counter:4}", u"#7 #0007", u"# #"},
        {u"{width}x{height}", u"800x533", u"x"},
        {u"{artist|Unknown}", u"Jane Doe", u"Unknown"},
        {u"{date:yyyy|undated}", u"2023", u"undated"},
        {u"{lens|}", u"RF24-70mm F2.8 L IS USM", u""},
        // Escapes and what is drawn as written.
        {u"{{filename}}", u"{filename}", u"{filename}"},
        {u"a {{ b }} c", u"a { b } c", u"a { b } c"},
        {u"}lone{", u"}lone{", u"}lone{"},
        {u"{camra} {counter:x} {counter:0} {width:2}", u"{camra} {counter:x} {counter:0} {width:2}",
         u"{camra} {counter:x} {counter:0} {width:2}"},
        {u"{unknown|fallback}", u"{unknown|fallback}", u"{unknown|fallback}"},
        {u"{{{year}}}", u"{2023}", u"{}"},
        {u"{year", u"{year", u"{year"},
    };
    const PhotoFacts full = FullFacts();
    for (const ExpansionCase &c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(ExpandTextVariables(text, full), QString::fromUtf16(c.withFacts))
            << text.toStdString();
        EXPECT_EQ(ExpandTextVariables(text, PhotoFacts()), QString::fromUtf16(c.withNothing))
            << text.toStdString();
    }
}

TEST(TextVariables, DateFallsBackToTheFileTimeAndCameraDropsTheRepeatedMake)
{
    PhotoFacts facts;
    facts.fileTime = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(ExpandTextVariables(u"{date} {year}", facts), u"2024-01-02 2024"_s);

    EXPECT_EQ(kw::CameraName(u"NIKON CORPORATION"_s, u"NIKON D850"_s), u"NIKON D850"_s);
    EXPECT_EQ(kw::CameraName(u"FUJIFILM"_s, u"X-T4"_s), u"FUJIFILM X-T4"_s);
    EXPECT_EQ(kw::CameraName(u"  Apple "_s, u""_s), u"Apple"_s);
    EXPECT_EQ(kw::CameraName(u""_s, u"iPhone 12"_s), u"iPhone 12"_s);
}

TEST(TextVariables, NamesTheReferencesDrawnAsWritten)
{
    EXPECT_TRUE(UnknownTextVariables(u"(c) {year} {artist|me} {{x}} {counter:3}").isEmpty());
    EXPECT_EQ(UnknownTextVariables(u"{camra} {date} {camra} {counter:x} {foo|bar}"),
              QStringList({u"camra"_s, u"counter:x"_s, u"foo|bar"_s}));
    EXPECT_EQ(UnknownTextVariables(u"{year} {unclosed"), QStringList({u"unclosed"_s}));
    // Every variable the editor lists is known.
    for (const kw::TextVariableInfo &info : kw::TextVariableList())
        EXPECT_TRUE(UnknownTextVariables(info.reference).isEmpty()) << info.reference.toStdString();
}

// A JPEG with known EXIF and XMP, written with Exiv2.
QByteArray PhotoWithMetadata(bool withExifAuthor)
{
    const QByteArray plain = kw::test::Encode(kw::test::PhotoLikeImage(120, 80), "jpeg");
    return kw::test::WithMetadata(plain, [&](Exiv2::Image &image) {
        Exiv2::ExifData &exif = image.exifData();
        exif["Exif.Image.Make"] = "NIKON CORPORATION";
        exif["Exif.Image.Model"] = "NIKON D850";
        exif["Exif.Photo.DateTimeOriginal"] = "2021:03:04 05:06:07";
        exif["Exif.Photo.LensModel"] = "24.0-70.0 mm f/2.8";
        if (withExifAuthor) {
            exif["Exif.Image.Artist"] = "EXIF Artist";
            exif["Exif.Image.Copyright"] = std::string("EXIF Rights\0Editor", 18);
        }
        Exiv2::XmpData &xmp = image.xmpData();
        xmp["Xmp.dc.creator"] = "XMP Creator";
        xmp["Xmp.dc.rights"] = "lang=x-default XMP Rights";
    });
}

class TextVariablesOfPhotos : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(kw::test::WriteFileBytes(path, bytes));
        return path;
    }
    PhotoFacts factsOf(const QString &path, bool keepMetadata = true)
    {
        kw::PhotoLoadOptions options;
        options.textFacts = true;
        options.keepMetadata = keepMetadata;
        const kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path, options);
        EXPECT_TRUE(photo) << photo.error().toStdString();
        return photo ? photo->facts : PhotoFacts();
    }

    kw::test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
};

TEST_F(TextVariablesOfPhotos, ReadsExifFirstThenXmp)
{
    const QString text = u"{filename}|{date:yyyy-MM-dd HH:mm:ss}|{camera}|{lens}|{artist}|"
                         u"{copyright}"_s;
    for (const bool keep : {true, false}) {
        const PhotoFacts exif = factsOf(write(u"DSC_1.jpg"_s, PhotoWithMetadata(true)), keep);
        EXPECT_EQ(ExpandTextVariables(text, exif),
                  u"DSC_1|2021-03-04 05:06:07|NIKON D850|24.0-70.0 mm f/2.8|EXIF Artist|EXIF "
                  u"Rights"_s);
        const PhotoFacts xmp = factsOf(write(u"DSC_2.jpeg"_s, PhotoWithMetadata(false)), keep);
        EXPECT_EQ(ExpandTextVariables(u"{artist}|{copyright}", xmp), u"XMP Creator|XMP Rights"_s);
    }
}

TEST_F(TextVariablesOfPhotos, APhotoWithoutMetadataGivesFileValuesAndFallbacks)
{
    const QString path =
        write(u"holiday.beach.png"_s, kw::test::Encode(kw::test::PhotoLikeImage(60, 40), "png"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QDateTime when(QDate(2019, 12, 31), QTime(23, 59, 58));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    file.close();
    const PhotoFacts facts = factsOf(path);
    EXPECT_EQ(ExpandTextVariables(u"{filename} {date} {camera|no camera} {artist|anon}", facts),
              u"holiday.beach 2019-12-31 no camera anon"_s);
}

// The counter counts the whole list, however it is shared out: photo 3 of
// 4 reads "003" in a share that renders only it and in a whole run.
TEST_F(TextVariablesOfPhotos, TheCounterIsThePositionInTheWholeListWithSharding)
{
    const QString templates = m_dir.filePath(u"templates"_s);
    ASSERT_TRUE(kw::SeedFirstRun(templates).ok());
    kw::CWatermarkConf layer;
    const QString layerName = u"Demo 1_Layer 1"_s;
    ASSERT_TRUE(kw::LoadLayerConf(templates, layerName, layer));
    layer.textContent = u"No. {counter:3}"_s;
    ASSERT_TRUE(kw::SaveLayerConf(templates, layerName, layer));

    QDir().mkpath(m_dir.filePath(u"in"_s));
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths << write(u"in/p%1.png"_s.arg(i),
                       kw::test::Encode(kw::test::PhotoLikeImage(400, 200), "png"));
    kw::BatchSettings settings;
    settings.templatesFolder = templates;
    settings.templateName = u"Demo 1"_s;
    settings.preferences.outputFolderOpts = 1;
    settings.preferences.outputFolderPath = m_dir.filePath(u"out"_s);
    settings.preferences.outputFormat = 1; // PNG: exact pixels
    settings.jobs = 1;

    const auto runShare = [&](const std::vector<int> &selected) {
        kw::BatchEngine engine;
        QSignalSpy finished(&engine, &kw::BatchEngine::finished);
        EXPECT_TRUE(engine.start(paths, selected, settings));
        EXPECT_TRUE(finished.wait(60000));
        return QImage(m_dir.filePath(u"out/p2.png"_s));
    };
    const QImage shared = runShare({2});
    ASSERT_FALSE(shared.isNull());
    QFile::remove(m_dir.filePath(u"out/p2.png"_s));
    const QImage whole = runShare({0, 1, 2, 3});

    // What "No. 003" written out looks like on the same photo.
    layer.textContent = u"No. 003"_s;
    ASSERT_TRUE(kw::SaveLayerConf(templates, layerName, layer));
    QFile::remove(m_dir.filePath(u"out/p2.png"_s));
    const QImage literal = runShare({2});
    layer.textContent = u"No. 002"_s;
    ASSERT_TRUE(kw::SaveLayerConf(templates, layerName, layer));
    QFile::remove(m_dir.filePath(u"out/p2.png"_s));
    const QImage wrong = runShare({2});

    EXPECT_EQ(shared, literal);
    EXPECT_EQ(whole, literal);
    EXPECT_NE(wrong, literal); // the drawing tells the numbers apart
}

// The editor previews with the sample photo's own values.
TEST_F(TextVariablesOfPhotos, TheEditorPreviewUsesTheSamplePhotosValues)
{
    const QString templates = m_dir.filePath(u"templates"_s);
    ASSERT_TRUE(kw::SeedFirstRun(templates).ok());
    const QString layerName = u"Demo 1_Layer 1"_s;
    kw::CWatermarkConf layer;
    ASSERT_TRUE(kw::LoadLayerConf(templates, layerName, layer));

    struct Capture : kw::PreviewTarget
    {
        QSize viewSize() const override { return {677, 625}; }
        void showPreview(const QImage &shown, const kw::ViewPlacement &) override
        {
            picture = shown;
        }
        QImage picture;
    };
    const auto preview = [&](const QString &text) {
        layer.textContent = text;
        EXPECT_TRUE(kw::SaveLayerConf(templates, layerName, layer));
        Capture capture;
        (void)kw::CWatermarkRenderer::RenderWatermark(
            kw::RenderMode::EditorPreview, {}, 0, 0, true,
            kw::RenderInputs{templates, u"Demo 1"_s, {}, &capture, {}});
        return capture.picture;
    };
    const QImage withVariables = preview(u"{filename} {width}x{height} #{counter:2}"_s);
    EXPECT_EQ(withVariables, preview(u"sample-photo 677x625 #01"_s));
    EXPECT_NE(withVariables, preview(u"sample-photo 677x625 #02"_s));
}

} // namespace
