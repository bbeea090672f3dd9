#include "render/output_writer.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

CPreferences Prefs(int folderOpts, const QString &folder, int nameOpts, const QString &suffix,
                   int format)
{
    CPreferences p;
    p.outputFolderOpts = folderOpts;
    p.outputFolderPath = folder;
    p.outputFileNameOpts = nameOpts;
    p.outputFileNameSuffix = suffix;
    p.outputFormat = format;
    return p;
}

TEST(OutputTarget, FollowsTheNamingRules)
{
    struct Case
    {
        QString source;
        CPreferences prefs;
        QString path; // empty: refused
    };
    const Case cases[] = {
        {u"/photos/beach.png"_s, Prefs(0, {}, 1, u"_new"_s, 0), u"/photos/beach_new.jpg"_s},
        {u"/photos/beach.jpg"_s, Prefs(1, u"/out/wm"_s, 0, {}, 3), u"/out/wm/beach.tiff"_s},
        {u"/photos/beach.jpg"_s, Prefs(1, u"/out/wm/"_s, 1, u" (1)"_s, 2),
         u"/out/wm/beach (1).bmp"_s},
        {u"/p/a.b.c.JPG"_s, Prefs(0, {}, 0, u"_x"_s, 1), u"/p/a.b.c.png"_s},
        // A name without extension is the base name whole; a leading dot
        // does not start an extension.
        {u"/ver.2/scan"_s, Prefs(0, {}, 1, u"_new"_s, 0), u"/ver.2/scan_new.jpg"_s},
        {u"/ver.2/scanA"_s, Prefs(0, {}, 0, {}, 0), u"/ver.2/scanA.jpg"_s},
        {u"/p/.jpg"_s, Prefs(0, {}, 1, u"_new"_s, 0), u"/p/.jpg_new.jpg"_s},
        {u"/p/.jpg"_s, Prefs(0, {}, 0, {}, 0), u"/p/.jpg.jpg"_s},
        {u"/p/.hidden.png"_s, Prefs(0, {}, 0, {}, 0), u"/p/.hidden.jpg"_s},
        // A suffix that would leave the output folder or break the name.
        {u"/p/a.jpg"_s, Prefs(0, {}, 1, u"/../../etc/x"_s, 0), {}},
        {u"/p/a.jpg"_s, Prefs(0, {}, 1, u"_a\\b"_s, 0), {}},
        {u"/p/a.jpg"_s, Prefs(0, {}, 1, u"_a\nb"_s, 0), {}},
        {u"/p/a.jpg"_s, Prefs(0, {}, 0, u"/unused"_s, 0), u"/p/a.jpg"_s},
        {u"/top.jpeg"_s, Prefs(0, {}, 1, u"_new"_s, 3), u"/top_new.tiff"_s},
        {u"/p/a.jpg"_s, Prefs(2, u"/out"_s, 0, {}, 0), {}},
        {u"/p/a.jpg"_s, Prefs(0, {}, -1, {}, 0), {}},
        {u"/p/a.jpg"_s, Prefs(0, {}, 0, {}, 4), u"/p/a.webp"_s},
        {u"/p/a.jpg"_s, Prefs(0, {}, 0, {}, 5), u"/p/a.avif"_s},
        {u"/p/a.jpg"_s, Prefs(0, {}, 0, {}, 6), {}},
        {u"/p/a.jpg"_s, Prefs(1, {}, 0, {}, 0), {}},
    };
    for (const Case &c : cases) {
        const kw::Result<OutputTarget> target = ResolveOutputTarget(c.source, c.prefs);
        EXPECT_EQ(target ? target->path : QString(), c.path) << c.source.toStdString();
        EXPECT_EQ(target.ok(), !c.path.isEmpty()) << target.error().toStdString();
    }
    for (int format = 0; format < 4; ++format)
        EXPECT_GE(GetEncoderClsid(FindOutputFormat(format)->mimeType), 0) << format;
    EXPECT_EQ(GetEncoderClsid(u"image/JPEG"), -1);
}

TEST(OutputTarget, NamesOfEarlierOutputs)
{
    for (QStringView name : {u"IMG_1_new.jpg", u"IMG_1_new.JPG", u"IMG_1_new (2).jpg",
                             u"IMG_1_new (12).jpg", u"_new.jpg"})
        EXPECT_TRUE(IsNamedLikeOutput(name, u"_new", u"jpg")) << name.toString().toStdString();
    for (QStringView name : {u"IMG_1.jpg", u"IMG_1_new.png", u"IMG_1_new (x).jpg",
                             u"IMG_1_new ().jpg", u"IMG_1_new(2).jpg", u"IMG_1_newer.jpg"})
        EXPECT_FALSE(IsNamedLikeOutput(name, u"_new", u"jpg")) << name.toString().toStdString();
    EXPECT_FALSE(IsNamedLikeOutput(u"IMG_1.jpg", u"", u"jpg"));
}

class OutputWriter : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }
    DecodedPhoto load(const QString &path)
    {
        Result<DecodedPhoto> r = LoadPhoto(path);
        EXPECT_TRUE(r) << r.error().toStdString();
        return r ? std::move(r).value() : DecodedPhoto();
    }
    QStringList filesIn(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
};

TEST_F(OutputWriter, WritesEachFormatIntoACreatedFolder)
{
    const QImage picture = test::PhotoLikeImage(120, 80);
    const DecodedPhoto photo = load(write(u"src/photo.png"_s, test::Encode(picture, "png")));
    const QString out = m_dir.filePath(u"out/deeper"_s);
    const char *formats[] = {"jpeg", "png", "bmp", "tiff"};
    for (int f = 0; f < 4; ++f) {
        const Result<WrittenOutput> r =
            WriteOutput(photo.image, photo, Prefs(1, out, 1, u"_wm"_s, f));
        ASSERT_TRUE(r) << r.error().toStdString();
        QImageReader reader(r->path);
        EXPECT_EQ(reader.format(), formats[f]);
        const QImage back = reader.read();
        EXPECT_EQ(back.size(), picture.size());
        EXPECT_FALSE(back.hasAlphaChannel()) << "an opaque photo needs no alpha channel";
        EXPECT_LE(test::MeanAbsDiff(back, picture), f == 0 ? 8.0 : 0.0) << formats[f];
    }
    // Baseline (SOF0) with 4:4:4 chroma at quality 98: Y, Cb and Cr all 1x1.
    const QByteArray written = test::ReadFileBytes(out + u"/photo_wm.jpg"_s);
    const qsizetype sof = written.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    EXPECT_EQ(written.mid(sof + 10, 8), QByteArray("\x01\x11\x00\x02\x11\x01\x03\x11", 8));
    EXPECT_EQ(written.indexOf("\xFF\xC2"), -1) << "not progressive";
    // Nothing but the four outputs: no temporary file is left behind.
    EXPECT_EQ(filesIn(out), QStringList({u"photo_wm.bmp"_s, u"photo_wm.jpg"_s, u"photo_wm.png"_s,
                                         u"photo_wm.tiff"_s}));
}

TEST_F(OutputWriter, CarriesJpegMetadataButNotTheThumbnail)
{
    QImage picture = test::PhotoLikeImage(160, 120);
    picture.setColorSpace(QColorSpace::AdobeRgb);
    const QByteArray thumbnail = test::Encode(test::PhotoLikeImage(32, 24), "jpeg");
    const QByteArray jpeg =
        test::WithMetadata(test::Encode(picture, "jpeg"), [&](Exiv2::Image &image) {
            Exiv2::ExifData &exif = image.exifData();
            exif["Exif.Image.Make"] = std::string("Kelvane Optics");
            exif["Exif.Image.Model"] = std::string("KW-1");
            exif["Exif.Photo.DateTimeOriginal"] = std::string("2024:05:01 10:20:30");
            exif["Exif.Photo.PixelXDimension"] = uint32_t(160);
            Exiv2::ExifThumb(exif).setJpegThumbnail(
                reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                long(thumbnail.size()));
            image.iptcData()["Iptc.Application2.Keywords"] = std::string("harbour");
            image.xmpData()["Xmp.dc.subject"] = std::string("boats");
        });
    const DecodedPhoto photo = load(write(u"meta.jpg"_s, jpeg));
    const QByteArray icc = photo.metadata.iccProfile;
    ASSERT_FALSE(icc.isEmpty());

    // Resized output: the dimension tags follow the written picture.
    const QImage smaller = photo.image.scaled(80, 60);
    const Result<WrittenOutput> r =
        WriteOutput(smaller, photo, Prefs(1, m_dir.filePath(u"out"_s), 0, {}, 0));
    ASSERT_TRUE(r) << r.error().toStdString();
    EXPECT_TRUE(r->warning.isEmpty()) << r->warning.toStdString();

    Exiv2::Image::AutoPtr out = Exiv2::ImageFactory::open(QFile::encodeName(r->path).toStdString());
    out->readMetadata();
    Exiv2::ExifData &exif = out->exifData();
    EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Kelvane Optics");
    EXPECT_EQ(exif["Exif.Image.Model"].toString(), "KW-1");
    EXPECT_EQ(exif["Exif.Photo.DateTimeOriginal"].toString(), "2024:05:01 10:20:30");
    EXPECT_EQ(exif["Exif.Photo.PixelXDimension"].toLong(), 80);
    EXPECT_EQ(exif["Exif.Photo.PixelYDimension"].toLong(), 60);
    EXPECT_EQ(Exiv2::ExifThumbC(exif).copy().size_, 0);
    EXPECT_EQ(out->iptcData()["Iptc.Application2.Keywords"].toString(), "harbour");
    EXPECT_EQ(out->xmpData()["Xmp.dc.subject"].toString(), "boats");
    ASSERT_TRUE(out->iccProfileDefined());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(out->iccProfile()->pData_),
                         out->iccProfile()->size_),
              icc);
    // The profile is written once, and the picture reads back in its colours.
    EXPECT_EQ(test::ReadFileBytes(r->path).count("ICC_PROFILE"), 1);
    EXPECT_LT(test::MeanAbsDiff(QImage(r->path), smaller), 8.0);

    // BMP output has nowhere to carry metadata and is written all the same.
    EXPECT_TRUE(WriteOutput(photo.image, photo, Prefs(1, m_dir.filePath(u"out"_s), 0, {}, 2)));
}

TEST_F(OutputWriter, StoresJpegPixelsInTheSourceOrientation)
{
    // A size that is no multiple of the encoder's strips and blocks.
    const QByteArray jpeg = test::Encode(test::PhotoLikeImage(70, 45), "jpeg", 95);
    const QString out = m_dir.filePath(u"out"_s);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString name = u"o%1.jpg"_s.arg(orientation);
        const DecodedPhoto photo = load(write(name, test::WithOrientation(jpeg, orientation)));
        const Result<WrittenOutput> r = WriteOutput(photo.image, photo, Prefs(1, out, 0, {}, 0));
        ASSERT_TRUE(r) << r.error().toStdString();
        QImageReader reader(r->path);
        reader.setAutoTransform(false);
        const QImage written = reader.read();
        const QImage expected = OrientToStored(photo.image, orientation);
        ASSERT_EQ(written.size(), expected.size()) << orientation;
        EXPECT_LT(test::MeanAbsDiff(written, expected), 6.0) << orientation;
        const DecodedPhoto again = load(r->path);
        EXPECT_EQ(again.sourceOrientation, orientation);
        EXPECT_LT(test::MeanAbsDiff(again.image, photo.image), 6.0) << orientation;
    }
    // As PNG the picture is stored upright, with no tag to turn it.
    const DecodedPhoto turned = load(m_dir.filePath(u"o6.jpg"_s));
    const Result<WrittenOutput> png = WriteOutput(turned.image, turned, Prefs(1, out, 0, {}, 1));
    ASSERT_TRUE(png);
    QImageReader reader(png->path);
    reader.setAutoTransform(false);
    const QImage upright = reader.read();
    EXPECT_EQ(upright.size(), QSize(45, 70));
    EXPECT_LT(test::MeanAbsDiff(upright, turned.image), 1.0);
    EXPECT_EQ(reader.transformation(), QImageIOHandler::TransformationNone);
}

TEST_F(OutputWriter, NeverReplacesASourcePhoto)
{
    const QByteArray bytes = test::Encode(test::PhotoLikeImage(64, 48), "jpeg");
    const QString source = write(u"photos/a.jpg"_s, bytes);
    const QString other = write(u"photos/a_new.jpg"_s, bytes);
    const DecodedPhoto photo = load(source);
    ASSERT_TRUE(QFile::link(m_dir.filePath(u"photos"_s), m_dir.filePath(u"alias"_s)));

    ProtectedFiles sources;
    sources.add(source);
    sources.add(other);
    struct Case
    {
        CPreferences prefs;
        const ProtectedFiles *protectedFiles;
    };
    const Case cases[] = {
        {Prefs(0, {}, 0, {}, 0), nullptr},                         // the same path
        {Prefs(1, m_dir.filePath(u"alias"_s), 0, {}, 0), nullptr}, // the same file by another path
        {Prefs(0, {}, 1, u"_new"_s, 0), &sources},                 // another source of the batch
    };
    for (const Case &c : cases) {
        const Result<WrittenOutput> r = WriteOutput(photo.image, photo, c.prefs, c.protectedFiles);
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.error().contains(u"source photo"_s)) << r.error().toStdString();
    }
    EXPECT_EQ(test::ReadFileBytes(source), bytes);
    EXPECT_EQ(test::ReadFileBytes(other), bytes);
    EXPECT_EQ(filesIn(m_dir.filePath(u"photos"_s)), QStringList({u"a.jpg"_s, u"a_new.jpg"_s}));

    // A folder that cannot be made fails with a reason and writes nothing.
    write(u"blocker"_s, "x");
    const Result<WrittenOutput> r =
        WriteOutput(photo.image, photo, Prefs(1, m_dir.filePath(u"blocker/sub"_s), 0, {}, 1));
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error().toStdString(),
              u"cannot create the output folder %1: %2 is not a folder"_s
                  .arg(m_dir.filePath(u"blocker/sub"_s), m_dir.filePath(u"blocker"_s))
                  .toStdString());
}

TEST_F(OutputWriter, ASymbolicLinkAtTheOutputNameIsReplacedNeverWrittenThrough)
{
    const QByteArray bytes = test::Encode(test::PhotoLikeImage(64, 48), "jpeg");
    const QString precious = write(u"elsewhere/precious.txt"_s, "keep me");
    const QString source = write(u"photos/b.jpg"_s, bytes);
    const QString other = write(u"photos/c.jpg"_s, bytes);
    const QString out = m_dir.filePath(u"out"_s);
    QDir().mkpath(out);
    struct Case
    {
        QString source;
        QString linkTarget;
    };
    const Case cases[] = {
        {source, precious},                                   // a file outside the folder
        {source, m_dir.filePath(u"elsewhere/missing.jpg"_s)}, // dangling
        {other, source},                                      // a source photo
    };
    ProtectedFiles sources;
    sources.add(source);
    sources.add(other);
    for (const Case &c : cases) {
        const QString output = out + u'/' + QFileInfo(c.source).completeBaseName() + u"_new.jpg"_s;
        QFile::remove(output);
        ASSERT_TRUE(QFile::link(c.linkTarget, output));
        const DecodedPhoto photo = load(c.source);
        const Result<WrittenOutput> r =
            WriteOutput(photo.image, photo, Prefs(1, out, 1, u"_new"_s, 0), &sources);
        ASSERT_TRUE(r) << r.error().toStdString();
        const QFileInfo written(output);
        EXPECT_FALSE(written.isSymLink()) << c.linkTarget.toStdString();
        EXPECT_FALSE(QImage(output).isNull());
    }
    EXPECT_EQ(test::ReadFileBytes(precious), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(u"elsewhere/missing.jpg"_s)));
    EXPECT_EQ(test::ReadFileBytes(source), bytes);
    EXPECT_EQ(filesIn(m_dir.filePath(u"elsewhere"_s)), QStringList{u"precious.txt"_s});
}

} // namespace
} // namespace kw
