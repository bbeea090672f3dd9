#include "render/photo_input.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

using test::Corners;
using Layout = std::array<int, 4>; // corner colours: top left, top right, bottom left, bottom right

constexpr Layout kStoredLayout = {0, 1, 2, 3};

class PhotoInput : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
};

// Where each upright pixel comes from, straight from the EXIF definitions of
// the eight orientations (uw, uh: the upright size).
using SourceOf = std::function<QPoint(int x, int y, int uw, int uh)>;
const SourceOf kExifDefinition[9] = {
    {},
    [](int x, int y, int, int) { return QPoint(x, y); },
    [](int x, int y, int uw, int) { return QPoint(uw - 1 - x, y); },
    [](int x, int y, int uw, int uh) { return QPoint(uw - 1 - x, uh - 1 - y); },
    [](int x, int y, int, int uh) { return QPoint(x, uh - 1 - y); },
    [](int x, int y, int, int) { return QPoint(y, x); },
    [](int x, int y, int uw, int) { return QPoint(y, uw - 1 - x); },
    [](int x, int y, int uw, int uh) { return QPoint(uh - 1 - y, uw - 1 - x); },
    [](int x, int y, int, int uh) { return QPoint(uh - 1 - y, x); },
};

TEST(Orientation, MovesEveryPixelAsTheTagDefinesAndBack)
{
    QImage stored(5, 3, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            stored.setPixel(x, y, qRgb(x * 40, y * 90, 7));
    }
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const QImage upright = OrientUpright(stored, o);
        ASSERT_EQ(upright.size(), OrientedSize(stored.size(), o));
        for (int y = 0; y < upright.height(); ++y) {
            for (int x = 0; x < upright.width(); ++x) {
                const QPoint from = kExifDefinition[o](x, y, upright.width(), upright.height());
                ASSERT_EQ(upright.pixel(x, y), stored.pixel(from)) << x << "," << y;
            }
        }
        EXPECT_EQ(OrientToStored(upright, o), stored);
    }
    for (int other : {0, 9, -1, 65535})
        EXPECT_EQ(OrientUpright(stored, other), stored);
}

// The corner colours a viewer shows for a picture stored as kStoredLayout.
const Layout kUprightLayout[9] = {
    kStoredLayout, {0, 1, 2, 3}, {1, 0, 3, 2}, {3, 2, 1, 0}, {2, 3, 0, 1},
    {0, 2, 1, 3},  {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2},
};

TEST_F(PhotoInput, TurnsAllEightOrientationsUprightAndBack)
{
    const QByteArray plain = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    for (int o = 1; o <= 8; ++o) {
        const QString path = write(u"turned_%1.jpg"_s.arg(o), test::WithOrientation(plain, o));
        for (bool resize : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << o << (resize ? ", resized" : ""));
            PhotoLoadOptions options;
            options.resize = {resize, 1, 24, 0};
            const Result<DecodedPhoto> r = LoadPhoto(path, options);
            ASSERT_TRUE(r) << r.error().toStdString();
            EXPECT_EQ(r->sourceOrientation, o);
            const QSize upright = o >= 5 ? QSize(64, 96) : QSize(96, 64);
            EXPECT_EQ(r->fullSize, upright);
            EXPECT_EQ(r->image.size(),
                      resize ? QSize(24, 24 * upright.height() / upright.width()) : upright);
            EXPECT_EQ(r->image.format(), QImage::Format_ARGB32_Premultiplied);
            EXPECT_EQ(Corners(r->image), kUprightLayout[o]);
            EXPECT_EQ(Corners(OrientToStored(r->image, o)), kStoredLayout);
        }
    }
}

TEST_F(PhotoInput, LeavesBogusAbsentAndUnreadOrientationsAlone)
{
    const QByteArray plain = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    struct Case
    {
        const char *name;
        QByteArray bytes;
        int expectedOrientation;
    };
    const QByteArray six = test::WithOrientation(plain, 6);
    const Case cases[] = {
        {"bogus.jpg", test::WithOrientation(plain, 9), 9},
        {"zero.jpg", test::WithOrientation(plain, 0), 0},
        {"large.jpg", test::WithOrientation(plain, 300), 300},
        {"absent.jpg", plain, 0},
        // Only ".jpg" and ".jpeg" sources are turned.
        {"other.jpe", six, 0},
        {"other.jfif", six, 0},
        {"other.png", six, 0},
        {"dot.jpg.bmp", six, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.name), c.bytes));
        ASSERT_TRUE(r) << r.error().toStdString();
        EXPECT_EQ(r->sourceOrientation, c.expectedOrientation);
        EXPECT_EQ(r->image.size(), QSize(96, 64));
        EXPECT_EQ(Corners(r->image), kStoredLayout);
    }
}

TEST(JpegExtension, IsTheLastDotOfTheFileName)
{
    for (const char *yes : {"a.jpg", "/p/IMG.JPG", "x.Jpeg", "/a.b/c.d.jpeg", ".jpg"})
        EXPECT_TRUE(HasJpegExtension(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"a.jpe", "a.jfif", "a.jpg.png", "/p.jpg/photo", "jpg", "a.jpgx"})
        EXPECT_FALSE(HasJpegExtension(QString::fromLatin1(no))) << no;
}

TEST_F(PhotoInput, KeepsTheMetadataAJpegWriterCarries)
{
    QImage picture = test::QuadrantImage(64, 48);
    picture.setColorSpace(QColorSpace::AdobeRgb);
    const QByteArray jpeg =
        test::WithMetadata(test::Encode(picture, "jpeg"), [](Exiv2::Image &image) {
            image.exifData()["Exif.Image.Make"] = std::string("Kelvane");
            image.exifData()["Exif.Photo.DateTimeOriginal"] = std::string("2024:05:01 10:20:30");
            image.exifData()["Exif.Image.Orientation"] = uint16_t(1);
            image.iptcData()["Iptc.Application2.Keywords"] = std::string("harbour");
            image.xmpData()["Xmp.dc.subject"] = std::string("boats");
        });
    const Result<DecodedPhoto> r = LoadPhoto(write(u"meta.jpg"_s, jpeg));
    ASSERT_TRUE(r) << r.error().toStdString();
    const PhotoMetadata &m = r->metadata;
    EXPECT_TRUE(r->metadataNote.isEmpty());

    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(m.exif.constData()),
                              uint32_t(m.exif.size()));
    EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Kelvane");
    EXPECT_EQ(exif["Exif.Photo.DateTimeOriginal"].toString(), "2024:05:01 10:20:30");
    Exiv2::IptcData iptc;
    ASSERT_EQ(Exiv2::IptcParser::decode(iptc,
                                        reinterpret_cast<const Exiv2::byte *>(m.iptc.constData()),
                                        uint32_t(m.iptc.size())),
              0);
    EXPECT_EQ(iptc["Iptc.Application2.Keywords"].toString(), "harbour");
    EXPECT_TRUE(m.xmp.contains("boats"));
    EXPECT_EQ(QColorSpace::fromIccProfile(m.iccProfile), QColorSpace(QColorSpace::AdobeRgb));
    EXPECT_EQ(r->image.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));

    // Other formats carry none, as do previews that do not ask for it.
    const Result<DecodedPhoto> png = LoadPhoto(write(u"meta.png"_s, test::Encode(picture, "png")));
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->metadata.isEmpty());
    PhotoLoadOptions preview;
    preview.keepMetadata = false;
    EXPECT_TRUE(LoadPhoto(write(u"meta2.jpg"_s, jpeg), preview)->metadata.isEmpty());
}

TEST_F(PhotoInput, DecodesAPhotoWhoseMetadataIsBroken)
{
    const QByteArray jpeg = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    // An Exif segment whose TIFF header points far outside it.
    QByteArray app1("Exif\0\0II*\0\xff\xff\xff\x7f", 14);
    app1 += QByteArray(40, '\x55');
    QByteArray broken = jpeg.left(2);
    broken += "\xff\xe1";
    broken += char((app1.size() + 2) >> 8);
    broken += char((app1.size() + 2) & 0xff);
    broken += app1 + jpeg.mid(2);
    const Result<DecodedPhoto> r = LoadPhoto(write(u"broken_exif.jpg"_s, broken));
    ASSERT_TRUE(r) << r.error().toStdString();
    EXPECT_EQ(r->sourceOrientation, 0);
    EXPECT_EQ(Corners(r->image), kStoredLayout);
}

TEST_F(PhotoInput, DecodesEachInputFormat)
{
    const QImage picture = test::QuadrantImage(90, 60);
    struct Case
    {
        const char *file;
        QByteArray bytes;
        QByteArray format;
    };
    const Case cases[] = {
        {"p.png", test::Encode(picture, "png"), "png"},
        {"p.bmp", test::Encode(picture, "bmp"), "bmp"},
        {"p.gif", test::EncodeGif(picture), "gif"},
        {"p.tiff", test::Encode(picture, "tiff"), "tiff"},
        {"p.jpeg", test::Encode(picture, "jpeg"), "jpeg"},
        // Scans with tables between them; bytes after the end marker.
        {"progressive.jpg", test::Encode(picture, "jpeg", 90, true), "jpeg"},
        {"trailer.jpg", test::Encode(picture, "jpeg") + "appended by some camera", "jpeg"},
        {"png-inside.jpg", test::Encode(picture, "png"), "png"}, // content decides
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_FALSE(c.bytes.isEmpty());
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.file), c.bytes));
        ASSERT_TRUE(r) << r.error().toStdString();
        EXPECT_EQ(r->format, c.format);
        EXPECT_EQ(r->image.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(Corners(r->image), kStoredLayout);
        if (c.format != "jpeg") { // lossless: every pixel as drawn
            EXPECT_EQ(test::MeanAbsDiff(r->image, picture), 0.0);
        }
    }

    // Alpha arrives premultiplied.
    QImage translucent(4, 4, QImage::Format_ARGB32);
    translucent.fill(qRgba(200, 100, 50, 128));
    const Result<DecodedPhoto> r =
        LoadPhoto(write(u"alpha.png"_s, test::Encode(translucent, "png")));
    ASSERT_TRUE(r);
    const QRgb p = reinterpret_cast<const QRgb *>(r->image.constScanLine(0))[0];
    EXPECT_EQ(qAlpha(p), 128);
    EXPECT_NEAR(qRed(p), 100, 1);
}

TEST_F(PhotoInput, RefusesBadFilesWithAReason)
{
    const QImage picture = test::PhotoLikeImage(160, 120);
    const QByteArray jpeg = test::Encode(picture, "jpeg");
    const qsizetype sof = jpeg.indexOf("\xff\xc0");
    ASSERT_GT(sof, 0);
    QByteArray badComponents = jpeg;
    badComponents[sof + 9] = 7;
    QByteArray hugeJpeg = jpeg;
    hugeJpeg[sof + 5] = hugeJpeg[sof + 7] = char(0xea); // 60000 x 60000
    hugeJpeg[sof + 6] = hugeJpeg[sof + 8] = char(0x60);
    // An EXIF thumbnail holds end markers of its own, which must not count.
    const QByteArray thumbnail = test::Encode(picture.scaled(40, 30), "jpeg");
    const QByteArray withThumbnail = test::WithMetadata(jpeg, [&](Exiv2::Image &image) {
        Exiv2::ExifThumb(image.exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                              long(thumbnail.size()));
    });
    const QByteArray gif = test::EncodeGif(picture);
    const QByteArray bmp = test::Encode(picture, "bmp");
    const QByteArray png = test::Encode(picture, "png");
    const QByteArray tiff = test::Encode(picture, "tiff");
    QByteArray noise(5000, '\0');
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);

    struct Case
    {
        const char *file;
        QByteArray bytes;
        QString reason; // a part of the expected reason
    };
    const QString cut = u"ends before the picture"_s;
    const Case cases[] = {
        {"empty.jpg", QByteArray(), u"the file is empty"_s},
        {"text.jpg", "just some words\n", u"not a JPEG, PNG, BMP, TIFF, GIF, HEIF or AVIF"_s},
        {"noise.png", noise, u"not a JPEG"_s},
        {"header-only.jpg", jpeg.left(150), cut},
        {"third.jpg", jpeg.left(jpeg.size() / 3), cut},
        {"no-end-marker.jpg", jpeg.left(jpeg.size() - 2), cut},
        {"thumbnail.jpg", withThumbnail.left(withThumbnail.size() - 500), cut},
        {"components.jpg", badComponents, u"cannot decode photo"_s},
        {"huge.jpg", hugeJpeg, u"more than 200 megapixels"_s},
        {"half.gif", gif.left(gif.size() / 2), cut},
        {"half.bmp", bmp.left(bmp.size() / 2), cut},
        {"half.png", png.left(png.size() / 2), cut},
        {"half.tiff", tiff.left(tiff.size() / 2), u"cannot decode photo"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.file), c.bytes));
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.error().contains(c.reason)) << r.error().toStdString();
    }

    EXPECT_TRUE(
        LoadPhoto(m_dir.filePath(u"missing.jpg"_s)).error().startsWith(u"cannot open photo"_s));
    EXPECT_TRUE(LoadPhoto(m_dir.path()).error().contains(u"folder"_s));
    PhotoLoadOptions zeroWidth;
    zeroWidth.resize = {true, 1, 0, 600};
    EXPECT_TRUE(LoadPhoto(write(u"ok.jpg"_s, jpeg), zeroWidth)
                    .error()
                    .startsWith(u"cannot resize photo"_s));
}

// Sends this process's stderr to a file while it lives.
class StderrCatcher
{
public:
    explicit StderrCatcher(const QString &path)
        : m_file(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600)),
          m_path(path)
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file, STDERR_FILENO);
    }
    ~StderrCatcher() { restore(); }
    // What was written, once stderr is back.
    QByteArray text()
    {
        restore();
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        ::close(m_file);
        m_saved = -1;
    }
    int m_file;
    int m_saved = -1;
    QString m_path;
};

struct PngChunk
{
    QByteArray type;
    QByteArray data;
};

QList<PngChunk> PngChunks(const QByteArray &png)
{
    QList<PngChunk> chunks;
    for (qsizetype i = 8; i + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + i);
        chunks.append({png.mid(i + 4, 4), png.mid(i + 8, length)});
        i += 12 + length;
    }
    return chunks;
}

// A PNG of these chunks, each with a correct checksum.
QByteArray PngOf(const QList<PngChunk> &chunks)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    for (const PngChunk &chunk : chunks) {
        const QByteArray typed = chunk.type + chunk.data;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()));
        char length[4], check[4];
        qToBigEndian<quint32>(quint32(chunk.data.size()), length);
        qToBigEndian<quint32>(quint32(crc), check);
        png += QByteArray(length, 4) + typed + QByteArray(check, 4);
    }
    return png;
}

// zlib data in the form a PNG's image data takes.
QByteArray Deflated(const QByteArray &raw)
{
    return qCompress(raw).mid(4); // qCompress puts the length first
}

// The codecs speak through libjpeg, libtiff and libpng messages: a failure
// names the codec's reason, and none of it reaches the terminal, not even
// libpng's errors, which it prints itself.
TEST_F(PhotoInput, DamagedFilesFailWithTheCodecsReasonAndPrintNothing)
{
    const QImage picture = test::PhotoLikeImage(40, 30);
    const QByteArray jpeg = test::Encode(picture, "jpeg");
    const qsizetype sof = jpeg.indexOf("\xff\xc0");
    ASSERT_GT(sof, 0);
    QByteArray zeroWidth = jpeg;
    zeroWidth[sof + 7] = zeroWidth[sof + 8] = 0;
    const QByteArray tiff = test::Encode(picture, "tiff");
    QByteArray lostDirectory = tiff;
    qToLittleEndian<quint32>(1'000'000, lostDirectory.data() + 4);

    const QByteArray png = test::Encode(picture, "png");
    const QList<PngChunk> chunks = PngChunks(png);
    ASSERT_EQ(chunks.first().type, "IHDR");
    const auto replaced = [&](const QByteArray &type, const QByteArray &data) {
        QList<PngChunk> out = chunks;
        bool found = false;
        for (qsizetype i = 0; i < out.size(); ++i) {
            if (out[i].type == type && !found) {
                out[i].data = data;
                found = true;
            } else if (out[i].type == type) {
                out.remove(i--);
            }
        }
        return PngOf(out);
    };
    // The 40 x 30 picture's rows as the image data holds them: a filter type
    // byte (0, none) and the pixels.
    const QByteArray header = chunks.first().data;
    const int channels = header[9] == 6 ? 4 : 3;
    QByteArray rows;
    for (int y = 0; y < 30; ++y)
        rows += QByteArray(1, '\0') + QByteArray(40 * channels, char(y * 8));
    QByteArray badFilter = rows;
    badFilter[1 + 40 * channels] = 9; // the second row
    QByteArray crcDamaged = png;
    crcDamaged[png.indexOf("IDAT") + 6] ^= 0x55;
    QByteArray badHeader = header;
    badHeader[8] = 7; // 7 bits a sample
    QList<PngChunk> noEnd = chunks;
    noEnd.removeLast();

    struct Case
    {
        const char *file;
        QByteArray bytes;
        QString reason;
    };
    const Case cases[] = {
        {"zero-width.jpg", zeroWidth, u"cannot decode photo: empty JPEG image"_s},
        {"header.tif", tiff.left(6), u"cannot decode photo: cannot read TIFF header"_s},
        {"lost-directory.tif", lostDirectory,
         u"cannot decode photo: TIFFReadDirectory: Failed to read directory at offset 1000000"_s},
        {"good-rows.png", replaced("IDAT", Deflated(rows)), QString()},
        {"checksum.png", crcDamaged, u"the PNG chunk IDAT is damaged (checksum mismatch)"_s},
        {"zlib.png", replaced("IDAT", QByteArray("\x78\x9c") + QByteArray(20, char(0xff))),
         u"the PNG image data is damaged (invalid block type)"_s},
        {"filter.png", replaced("IDAT", Deflated(badFilter)),
         u"the PNG image data is damaged (a row has an unknown filter type)"_s},
        {"short.png", replaced("IDAT", Deflated(rows.left(rows.size() / 2))),
         u"the PNG image data is damaged (it is shorter than the picture)"_s},
        {"header.png", replaced("IHDR", badHeader), u"the PNG header is invalid"_s},
        {"no-end.png", PngOf(noEnd), u"the file ends before the picture does"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = write(QString::fromLatin1(c.file), c.bytes);
        StderrCatcher caught(m_dir.filePath(u"stderr.txt"_s));
        const Result<DecodedPhoto> r = LoadPhoto(path);
        EXPECT_EQ(caught.text().toStdString(), std::string());
        if (c.reason.isEmpty()) {
            EXPECT_TRUE(r) << r.error().toStdString();
        } else {
            ASSERT_FALSE(r);
            EXPECT_TRUE(r.error().contains(c.reason)) << r.error().toStdString();
        }
    }
}

// The seed corpus of the fuzz target holds tiny pictures in the variants of
// each format (bit depths, palettes, interlacing, compressions, byte orders,
// OS/2 and RLE bitmaps, tiled and multi-page TIFFs); each one decodes.
TEST_F(PhotoInput, DecodesEveryVariantOfTheFuzzCorpus)
{
    const QDir corpus(QStringLiteral(KW_TEST_DATA_DIR "/fuzz/photo_input"));
    const QStringList files = corpus.entryList(QDir::Files);
    EXPECT_GE(files.size(), 40);
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        const Result<DecodedPhoto> r = LoadPhoto(corpus.filePath(file));
        ASSERT_TRUE(r) << r.error().toStdString();
        EXPECT_FALSE(r->image.isNull());
    }
}

// A FIFO would block the run until something writes into it, a device may
// never end: only regular files are read, and the others fail at once.
TEST_F(PhotoInput, OnlyRegularFilesAreRead)
{
    const QString fifo = m_dir.filePath(u"pipe.jpg"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = m_dir.filePath(u"socket.jpg"_s);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(socketName.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.constData(), size_t(socketName.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const QString link = m_dir.filePath(u"link-to-pipe.jpg"_s);
    ASSERT_TRUE(QFile::link(fifo, link));

    const struct
    {
        QString path;
        QString reason;
    } cases[] = {
        {fifo, u"cannot open photo: it is a FIFO (named pipe)"_s},
        {link, u"cannot open photo: it is a FIFO (named pipe)"_s},
        {socketPath, u"cannot open photo: it is a socket"_s},
        {u"/dev/zero"_s, u"cannot open photo: it is a device"_s},
        {m_dir.path(), u"cannot open photo: it is a folder"_s},
        {m_dir.filePath(u"missing.jpg"_s), u"cannot open photo: no such file or directory"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        auto load = std::async(std::launch::async, [&] { return LoadPhoto(c.path); });
        if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Unblock the reader so the test can end, then fail.
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
            FAIL() << "the load blocked";
        }
        const Result<DecodedPhoto> r = load.get();
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), c.reason);
    }
    ::close(sock);
}

// Renders run one per core: loads on several threads at once, metadata and
// all, give what one thread alone gives.
TEST_F(PhotoInput, LoadsOnSeveralThreadsAtOnce)
{
    const QByteArray plain = test::Encode(test::PhotoLikeImage(300, 200), "jpeg");
    QStringList paths;
    for (int o : {1, 3, 6, 8}) {
        paths << write(u"parallel_%1.jpg"_s.arg(o),
                       test::WithMetadata(plain, [o](Exiv2::Image &image) {
                           image.exifData()["Exif.Image.Orientation"] = uint16_t(o);
                           image.xmpData()["Xmp.dc.subject"] = std::string("parallel");
                       }));
    }
    PhotoLoadOptions options;
    options.resize = {true, 1, 120, 0};
    QList<QImage> expected;
    for (const QString &path : paths)
        expected << LoadPhoto(path, options)->image;

    std::atomic<int> mismatches = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 12; ++i) {
                const int which = (t + i) % paths.size();
                const Result<DecodedPhoto> r = LoadPhoto(paths[which], options);
                if (!r || r->image != expected[which] || !r->metadata.xmp.contains("parallel"))
                    ++mismatches;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

// Letting the JPEG decoder shrink in the DCT domain must not change what the
// photo looks like: compared with the full decode and the photo filter alone.
TEST_F(PhotoInput, DctScaledDecodeLooksLikeTheFullDecode)
{
    const QByteArray jpeg = test::Encode(test::PhotoLikeImage(2400, 1600), "jpeg", 90);
    const QString plain = write(u"big.jpg"_s, jpeg);
    const QString turned = write(u"big6.jpg"_s, test::WithOrientation(jpeg, 6));
    struct Case
    {
        QString path;
        ResizeRequest resize;
        QSize expected;
    };
    const Case cases[] = {
        {plain, {true, 1, 600, 0}, {600, 400}},   // exactly 1/4
        {plain, {true, 1, 1000, 0}, {1000, 666}}, // 1/2, then the filter
        {plain, {true, 1, 250, 0}, {250, 166}},   // 1/8
        {plain, {true, 3, 700, 300}, {700, 300}}, // stretched: the wider axis decides
        {turned, {true, 1, 500, 0}, {500, 750}},  // stored sideways
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected.width());
        PhotoLoadOptions fast, full;
        fast.resize = full.resize = c.resize;
        full.dctScaling = false;
        const Result<DecodedPhoto> a = LoadPhoto(c.path, fast);
        const Result<DecodedPhoto> b = LoadPhoto(c.path, full);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->image.size(), c.expected);
        ASSERT_EQ(b->image.size(), c.expected);
        EXPECT_LT(test::MeanAbsDiff(a->image, b->image), 1.2);
    }
}

} // namespace
} // namespace kw
