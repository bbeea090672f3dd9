#include "render/extended_xmp.h"

#include "photo_test_files.h"
#include "render/output_writer.h"
#include "support/test_sandbox.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using kw::ReadExtendedXmpSegments;

using namespace Qt::StringLiterals;

namespace {

QByteArray Segment(const QByteArray &payload)
{
    QByteArray s("\xFF\xE1", 2);
    const quint16 length = quint16(payload.size() + 2);
    s.append(char(length >> 8)).append(char(length & 0xFF));
    return s + payload;
}

QByteArray Packet(const QByteArray &description)
{
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">" +
           description + "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

// The extended part and its pieces (at most 60000 bytes each), for a GUID
// that is the part's MD5.
struct Extended
{
    QByteArray guid;
    QList<QByteArray> pieces;
};

Extended Split(const QByteArray &whole)
{
    Extended e;
    e.guid = QCryptographicHash::hash(whole, QCryptographicHash::Md5).toHex().toUpper();
    for (qsizetype at = 0; at < whole.size(); at += 60000) {
        QByteArray piece = e.guid;
        char numbers[8];
        qToBigEndian<quint32>(quint32(whole.size()), numbers);
        qToBigEndian<quint32>(quint32(at), numbers + 4);
        piece.append(numbers, 8).append(whole.mid(at, 60000));
        e.pieces << piece;
    }
    return e;
}

// A JPEG whose XMP is a main packet pointing to `pointer` plus `pieces`.
QByteArray JpegWithExtendedXmp(const QByteArray &pointer, const QList<QByteArray> &pieces)
{
    const QByteArray plain = kw::test::Encode(kw::test::PhotoLikeImage(64, 48), "jpeg");
    const QByteArray main =
        Packet("<rdf:Description rdf:about=\"\" xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" "
               "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmpNote:HasExtendedXMP=\"" +
               pointer + "\"><dc:format>image/jpeg</dc:format></rdf:Description>");
    QByteArray segments = Segment(QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + main);
    for (const QByteArray &piece : pieces)
        segments += Segment(QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) + piece);
    return plain.left(2) + segments + plain.mid(2);
}

QByteArray LongDescription(const char *property)
{
    return Packet("<rdf:Description rdf:about=\"\" xmlns:my=\"http://example.com/my/\" my:" +
                  QByteArray(property) + "=\"" + QByteArray(100000, 'x') + "\"/>");
}

class ExtendedXmp : public ::testing::Test
{
protected:
    // The source written as `format`: the output's main packet and pieces.
    std::pair<QByteArray, QList<QByteArray>>
    written(const QByteArray &source, kw::OutputFormatCode format, QStringList *warnings = nullptr)
    {
        const QString path = m_dir.filePath(u"in.jpg"_s);
        EXPECT_TRUE(kw::test::WriteFileBytes(path, source));
        const kw::Result<kw::DecodedPhoto> photo = kw::LoadPhoto(path);
        EXPECT_TRUE(photo) << photo.error().toStdString();
        kw::CPreferences prefs;
        prefs.outputFolderOpts = 1;
        prefs.outputFolderPath = m_dir.filePath(u"out"_s);
        prefs.outputFormat = int32_t(format);
        const kw::Result<kw::WrittenOutput> out = kw::WriteOutput(photo->image, *photo, prefs);
        EXPECT_TRUE(out) << out.error().toStdString();
        if (warnings && out)
            *warnings = QStringList{out->warning};
        const QByteArray bytes = kw::test::ReadFileBytes(out->path);
        QByteArray xmp;
        kw::test::WithMetadata(bytes, [&](Exiv2::Image &image) {
            xmp = QByteArray::fromStdString(image.xmpPacket());
        });
        return {xmp, ReadExtendedXmpSegments(bytes)};
    }

    kw::test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
};

TEST_F(ExtendedXmp, AJpegOutputCarriesItWholeWithItsPointer)
{
    const Extended e = Split(LongDescription("Long"));
    ASSERT_EQ(e.pieces.size(), 2);
    const QByteArray source = JpegWithExtendedXmp(e.guid, e.pieces);
    EXPECT_EQ(ReadExtendedXmpSegments(source), e.pieces);
    const auto [xmp, pieces] = written(source, kw::OutputFormatCode::Jpeg);
    EXPECT_EQ(pieces, e.pieces);
    EXPECT_TRUE(xmp.contains(e.guid));
}

TEST_F(ExtendedXmp, WhatCannotBeCarriedWholeGoesWithItsPointer)
{
    const Extended e = Split(LongDescription("Long"));
    const Extended picture = Split(LongDescription("GImage:Data"));
    struct Case
    {
        const char *what;
        QByteArray source;
        kw::OutputFormatCode format;
        const char *warning;
    };
    const Case cases[] = {
        {"PNG output", JpegWithExtendedXmp(e.guid, e.pieces), kw::OutputFormatCode::Png,
         "only JPEG output"},
        {"a piece missing", JpegWithExtendedXmp(e.guid, {e.pieces.first()}),
         kw::OutputFormatCode::Jpeg, "not whole"},
        {"another GUID", JpegWithExtendedXmp(QByteArray(32, 'A'), e.pieces),
         kw::OutputFormatCode::Jpeg, "not whole"},
        {"a portrait's original", JpegWithExtendedXmp(picture.guid, picture.pieces),
         kw::OutputFormatCode::Jpeg, "holds a picture"},
        {"a pointer without pieces", JpegWithExtendedXmp(e.guid, {}), kw::OutputFormatCode::Jpeg,
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QStringList warnings;
        const auto [xmp, pieces] = written(c.source, c.format, &warnings);
        EXPECT_TRUE(pieces.isEmpty());
        EXPECT_FALSE(xmp.isEmpty());
        EXPECT_TRUE(xmp.contains("image/jpeg")); // the rest of the packet stays
        EXPECT_FALSE(xmp.contains("HasExtendedXMP")) << xmp.toStdString();
        if (c.warning) {
            EXPECT_TRUE(warnings.join(u' ').contains(QLatin1String(c.warning)))
                << warnings.join(u' ').toStdString();
        }
    }
}

} // namespace
