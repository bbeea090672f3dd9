// No embedded picture of a source reaches its output: each would show the
// photo without its watermark. The sources are made with exiftool, which also
// confirms that each carries its picture before the output is checked.
#include "render/output_metadata.h"
#include "render/output_writer.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace Qt::StringLiterals;

// exiftool's answers in failure messages, as text.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kw {
namespace {

QString ExiftoolPath()
{
    return QStandardPaths::findExecutable(u"exiftool"_s);
}

// exiftool's standard output for `args`; a failed run fails the test.
QString Exiftool(const QStringList &args)
{
    QProcess process;
    process.start(ExiftoolPath(), args);
    const bool finished = process.waitForFinished(60000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << args.join(u' ').toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Every preview-type picture exiftool finds in the file (EXIF and XMP
// thumbnails, maker-note previews, MPF images, Photoshop thumbnails), one a
// line as "[group] name".
QString PicturesIn(const QString &path)
{
    return Exiftool(
        {u"-a"_s, u"-G1"_s, u"-s"_s, u"-preview:all"_s, u"-api"_s, u"RequestAll=3"_s, path});
}

QByteArray Be16(int v)
{
    return QByteArray(1, char((v >> 8) & 0xFF)) + char(v & 0xFF);
}

QByteArray Be32(quint32 v)
{
    return Be16(int(v >> 16)) + Be16(int(v & 0xFFFF));
}

// A big-endian IFD entry whose value fits in its four bytes.
QByteArray Entry(int tag, int type, quint32 count, const QByteArray &value)
{
    return Be16(tag) + Be16(type) + Be32(count) + value.leftJustified(4, '\0', true);
}

// A camera's maker note with one ordinary tag, as the block exiftool writes
// under MakerNotes. exiftool fills in preview pictures only where the note
// already has the tag, so each carries a placeholder for it.
QByteArray OlympusNote()
{
    // Olympus type 1: header, then an IFD in the byte order of the EXIF
    // around it; CameraType, and ThumbnailImage as a placeholder.
    return QByteArray("OLYMP\0\1\0", 8) + Be16(2) + Entry(0x0207, 2, 4, "E1") +
           Entry(0x0100, 7, 4, "xxxx") + Be32(0);
}

QByteArray NikonNote()
{
    // Nikon type 3: header, then a TIFF structure of its own: MakerNoteVersion
    // and the pointer to the preview IFD (JPEGInterchangeFormat and its
    // length, to a four-byte placeholder).
    QByteArray tiff = QByteArray("MM\0\x2a", 4) + Be32(8);
    const quint32 previewIfd = 8 + 2 + 2 * 12 + 4;
    tiff +=
        Be16(2) + Entry(0x0001, 7, 4, "0210") + Entry(0x0011, 13, 1, Be32(previewIfd)) + Be32(0);
    const quint32 data = previewIfd + 2 + 2 * 12 + 4;
    tiff += Be16(2) + Entry(0x0201, 4, 1, Be32(data)) + Entry(0x0202, 4, 1, Be32(4)) + Be32(0);
    tiff += QByteArray("\xFF\xD8\xFF\xD9", 4);
    return QByteArray("Nikon\0\2\x10\0\0", 10) + tiff;
}

// The primary JPEG with an MPF index (APP2) after its start, and `secondary`
// appended, as cameras store their large previews.
QByteArray WithMpfImage(const QByteArray &primary, const QByteArray &secondary)
{
    // MP index IFD: version, number of images, the two 16-byte MP entries.
    QByteArray tiff = QByteArray("MM\0\x2a", 4) + Be32(8);
    const quint32 entries = 8 + 2 + 3 * 12 + 4;
    tiff += Be16(3) + Entry(0xB000, 7, 4, "0100") + Entry(0xB001, 4, 1, Be32(2)) +
            Entry(0xB002, 7, 32, Be32(entries)) + Be32(0);
    const int segmentSize = 2 + 2 + 4 + int(tiff.size()) + 32;
    const quint32 primarySize = quint32(primary.size() + segmentSize);
    const quint32 tiffStart = 2 + 4 + 4; // SOI, marker and length, "MPF\0"
    tiff += Be32(0x20030000) + Be32(primarySize) + Be32(0) + Be16(0) + Be16(0);
    tiff += Be32(0x00010001) + Be32(quint32(secondary.size())) + Be32(primarySize - tiffStart) +
            Be16(0) + Be16(0);
    const QByteArray segment =
        QByteArray("\xFF\xE2", 2) + Be16(segmentSize - 2) + QByteArray("MPF\0", 4) + tiff;
    return primary.left(2) + segment + primary.mid(2) + secondary;
}

class OutputPictures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (ExiftoolPath().isEmpty())
            GTEST_SKIP() << "exiftool is not installed (Debian: libimage-exiftool-perl); the "
                            "embedded-picture checks need it to make their photos";
        m_thumbnail = test::Encode(test::PhotoLikeImage(40, 30, 3), "jpeg");
        ASSERT_TRUE(test::WriteFileBytes(m_dir.filePath(u"thumb.jpg"_s), m_thumbnail));
    }

    // A source photo: a plain JPEG (or TIFF, by the name) changed by exiftool
    // with each list of arguments in turn ("THUMB" stands for the thumbnail
    // file).
    QString makeSource(const QString &name, const QList<QStringList> &steps)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(
            test::WriteFileBytes(path, test::Encode(test::PhotoLikeImage(96, 64),
                                                    name.endsWith(u".tif"_s) ? "tiff" : "jpeg")));
        for (QStringList args : steps) {
            args.replaceInStrings(u"THUMB"_s, m_dir.filePath(u"thumb.jpg"_s));
            Exiftool(QStringList{u"-q"_s, u"-overwrite_original"_s} + args + QStringList{path});
        }
        return path;
    }

    // The JPEG output of `source`, with its warning.
    QString writeOutput(const QString &source, QString &warning)
    {
        const Result<DecodedPhoto> loaded = LoadPhoto(source);
        EXPECT_TRUE(loaded) << loaded.error().toStdString();
        CPreferences prefs;
        prefs.outputFolderOpts = 1;
        prefs.outputFolderPath = m_dir.filePath(u"out"_s);
        prefs.outputFileNameOpts = 0;
        prefs.outputFormat = 0;
        const Result<WrittenOutput> r = WriteOutput(loaded->image, *loaded, prefs);
        EXPECT_TRUE(r) << r.error().toStdString();
        if (!r)
            return {};
        warning = r->warning;
        return r->path;
    }

    // The output's bytes hold no second JPEG start, no base64 one (XMP) and no
    // MPF index.
    void expectOnlyTheMarkedPicture(const QString &output)
    {
        const QByteArray bytes = test::ReadFileBytes(output);
        EXPECT_EQ(bytes.count("\xFF\xD8\xFF"), 1) << output.toStdString();
        EXPECT_FALSE(bytes.contains("/9j/")) << "a base64 JPEG in " << output.toStdString();
        EXPECT_FALSE(bytes.contains(QByteArray("MPF\0", 4))) << output.toStdString();
        EXPECT_EQ(PicturesIn(output), QString()) << output.toStdString();
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
    QByteArray m_thumbnail;
};

TEST_F(OutputPictures, XmpIptcPhotoshopAndExifThumbnailsAreDroppedTheRestKept)
{
    // A TIFF keeps XMP and the Photoshop resources in tags of its first
    // directory, a JPEG in segments of their own.
    for (const QString &name : {u"xmp.jpg"_s, u"xmp.tif"_s}) {
        SCOPED_TRACE(name.toStdString());
        const bool jpeg = name.endsWith(u".jpg"_s);
        QStringList args = {u"-XMP-xmp:ThumbnailImage<=THUMB"_s,
                            u"-XMP-xmp:ThumbnailFormat=JPEG"_s,
                            u"-XMP-GImage:ImageData<=THUMB"_s,
                            u"-XMP-GImage:ImageMimeType=image/jpeg"_s,
                            u"-XMP-dc:Subject=boats"_s,
                            u"-XMP-dc:Creator=Ann"_s,
                            u"-Photoshop:PhotoshopThumbnail<=THUMB"_s,
                            u"-IPTC:Keywords=harbour"_s,
                            u"-IPTC:ObjectPreviewData<=THUMB"_s,
                            u"-IPTC:ObjectPreviewFileVersion=1"_s,
                            u"-Artist=Ann"_s};
        if (jpeg)
            args << u"-ThumbnailImage<=THUMB"_s;
        const QString source = makeSource(name, {args});
        const QString before = PicturesIn(source);
        ASSERT_TRUE(before.contains(u"[XMP-xmp]"_s) && before.contains(u"[Photoshop]"_s) &&
                    before.contains(u"[IPTC]"_s) && (!jpeg || before.contains(u"[IFD1]"_s)))
            << before.toStdString();
        ASSERT_FALSE(Exiftool({u"-XMP-GImage:ImageData"_s, source}).isEmpty());

        QString warning;
        const QString output = writeOutput(source, warning);
        ASSERT_FALSE(output.isEmpty());
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
        expectOnlyTheMarkedPicture(output);
        EXPECT_EQ(Exiftool({u"-XMP-GImage:all"_s, output}), QString());
        // Everything else of the metadata is still there (a TIFF source's
        // metadata is not carried over at all).
        if (jpeg) {
            EXPECT_EQ(Exiftool({u"-s3"_s, u"-XMP-dc:Subject"_s, u"-XMP-dc:Creator"_s,
                                u"-IPTC:Keywords"_s, u"-EXIF:Artist"_s, output})
                          .toStdString(),
                      "boats\nAnn\nharbour\nAnn");
        }
    }
}

TEST_F(OutputPictures, MakerNotePreviewsAreDroppedAndTheNoteKept)
{
    struct Case
    {
        QString name;
        QByteArray note;
        QString make;
        QString preview; // the exiftool argument that fills the note's preview in
        QString kept;    // a maker-note tag that must survive
        QString keptValue;
    };
    const Case cases[] = {
        {u"olympus.jpg"_s, OlympusNote(), u"OLYMPUS"_s, u"-Olympus:ThumbnailImage<=THUMB"_s,
         u"-Olympus:CameraType"_s, u"Unknown (E1)"_s},
        {u"nikon.jpg"_s, NikonNote(), u"NIKON CORPORATION"_s, u"-PreviewImage<=THUMB"_s,
         u"-Nikon:MakerNoteVersion"_s, u"2.10"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString notePath = m_dir.filePath(c.name + u".note"_s);
        ASSERT_TRUE(test::WriteFileBytes(notePath, c.note));
        const QString source = makeSource(
            c.name, {{u"-Make="_s + c.make, u"-MakerNotes<="_s + notePath}, {c.preview}});
        ASSERT_FALSE(PicturesIn(source).isEmpty()) << "the source carries no preview";
        ASSERT_EQ(Exiftool({u"-s3"_s, c.kept, source}), c.keptValue);

        QString warning;
        const QString output = writeOutput(source, warning);
        ASSERT_FALSE(output.isEmpty());
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
        expectOnlyTheMarkedPicture(output);
        EXPECT_EQ(Exiftool({u"-s3"_s, c.kept, output}), c.keptValue);
    }
}

TEST_F(OutputPictures, AnUnreadMakerNoteHoldingAPictureIsLeftOutWhole)
{
    // A maker note the metadata library keeps as one block: its preview
    // cannot be removed alone.
    const QString notePath = m_dir.filePath(u"kodak.note"_s);
    ASSERT_TRUE(test::WriteFileBytes(notePath, QByteArray("KDK INFO") + QByteArray(24, '\0') +
                                                   m_thumbnail + QByteArray(8, '\0')));
    const QString source = makeSource(
        u"kodak.jpg"_s,
        {{u"-Make=EASTMAN KODAK COMPANY"_s, u"-Model=KODAK X"_s, u"-MakerNotes<="_s + notePath}});
    ASSERT_TRUE(test::ReadFileBytes(source).contains(m_thumbnail));

    QString warning;
    const QString output = writeOutput(source, warning);
    ASSERT_FALSE(output.isEmpty());
    EXPECT_TRUE(warning.contains(u"maker note left out"_s)) << warning.toStdString();
    expectOnlyTheMarkedPicture(output);
    EXPECT_EQ(Exiftool({u"-s3"_s, u"-Make"_s, u"-Model"_s, output}),
              u"EASTMAN KODAK COMPANY\nKODAK X"_s);

    // A maker note without a picture is kept.
    ASSERT_TRUE(test::WriteFileBytes(notePath, QByteArray("KDK INFO") + QByteArray(60, '\1')));
    const QString plain = makeSource(
        u"kodak2.jpg"_s, {{u"-Make=EASTMAN KODAK COMPANY"_s, u"-MakerNotes<="_s + notePath}});
    const QString plainOutput = writeOutput(plain, warning);
    EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    EXPECT_FALSE(Exiftool({u"-MakerNotes"_s, plainOutput}).isEmpty());
}

TEST_F(OutputPictures, MpfImagesNeverFollowTheOutput)
{
    const QByteArray secondary = test::Encode(test::PhotoLikeImage(48, 32, 5), "jpeg");
    const QString source = m_dir.filePath(u"mpf.jpg"_s);
    ASSERT_TRUE(test::WriteFileBytes(
        source, WithMpfImage(test::Encode(test::PhotoLikeImage(96, 64), "jpeg"), secondary)));
    // exiftool finds the second image through the index.
    ASSERT_TRUE(PicturesIn(source).contains(u"MPImage2"_s)) << PicturesIn(source).toStdString();
    QProcess extract;
    extract.start(ExiftoolPath(), {u"-b"_s, u"-MPImage2:PreviewImage"_s, source});
    ASSERT_TRUE(extract.waitForFinished(60000));
    ASSERT_EQ(extract.readAllStandardOutput(), secondary);

    QString warning;
    const QString output = writeOutput(source, warning);
    ASSERT_FALSE(output.isEmpty());
    expectOnlyTheMarkedPicture(output);
    EXPECT_FALSE(test::ReadFileBytes(output).contains(secondary.mid(2, 200)));
}

// Pictures the list of known preview tags does not name are found by their
// bytes: in a maker-note tag (dropped alone) and in another tag (dropped with
// a warning).
TEST(OutputMetadata, PicturesInUnlistedTagsAreFoundByTheirBytes)
{
    const QByteArray jpeg = test::Encode(test::PhotoLikeImage(24, 16), "jpeg");
    const Exiv2::DataValue picture(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                                   long(jpeg.size()), Exiv2::invalidByteOrder, Exiv2::undefined);
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = std::string("Canon");
    exif["Exif.Canon.OwnerName"] = std::string("Ann");
    exif.add(Exiv2::ExifKey("Exif.Canon.0x4321"), &picture);
    exif.add(Exiv2::ExifKey("Exif.Photo.UserComment"), &picture);
    exif["Exif.Image.Artist"] = std::string("Ann");
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    PhotoMetadata source;
    source.exif = QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    ASSERT_EQ(source.exif.count(jpeg.left(3)), 2);

    const OutputMetadata out = PrepareOutputMetadata(source, {24, 16}, 0);
    EXPECT_EQ(out.exif.count(jpeg.left(3)), 0);
    EXPECT_EQ(out.warnings.join(u'|').toStdString(),
              "EXIF tag Exif.Photo.UserComment left out: it holds a picture");
    Exiv2::ExifData back;
    Exiv2::ExifParser::decode(back, reinterpret_cast<const Exiv2::byte *>(out.exif.constData()),
                              uint32_t(out.exif.size()));
    EXPECT_EQ(back["Exif.Canon.OwnerName"].toString(), "Ann") << "the maker note stays";
    EXPECT_EQ(back["Exif.Image.Artist"].toString(), "Ann");
}

} // namespace
} // namespace kw
