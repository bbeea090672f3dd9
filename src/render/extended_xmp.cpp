#include "render/extended_xmp.h"

#include "render/photo_input.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QByteArrayView kSignature("http://ns.adobe.com/xmp/extension/\0", 35);
constexpr qsizetype kGuidSize = 32;
constexpr qsizetype kPieceHeader = kGuidSize + 8; // GUID, full length, offset
constexpr const char *kPointerKey = "Xmp.xmpNote.HasExtendedXMP";

struct Piece
{
    QByteArrayView guid;
    quint32 fullLength = 0;
    quint32 offset = 0;
    QByteArrayView data;
};

Piece Parse(const QByteArray &payload)
{
    Piece piece;
    piece.guid = QByteArrayView(payload).first(kGuidSize);
    piece.fullLength = qFromBigEndian<quint32>(payload.constData() + kGuidSize);
    piece.offset = qFromBigEndian<quint32>(payload.constData() + kGuidSize + 4);
    piece.data = QByteArrayView(payload).sliced(kPieceHeader);
    return piece;
}

// The GUID the main packet points to; empty when it points nowhere or
// cannot be read.
QByteArray PointerOf(const Exiv2::XmpData &xmp)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(kPointerKey));
    return it == xmp.end() ? QByteArray() : QByteArray::fromStdString(it->toString()).trimmed();
}

// The pieces joined in order, or empty when they are not exactly one whole
// of `guid`.
QByteArray Joined(const QList<QByteArray> &extension, const QByteArray &guid)
{
    std::vector<Piece> pieces;
    for (const QByteArray &payload : extension) {
        if (payload.size() < kPieceHeader)
            return {};
        pieces.push_back(Parse(payload));
        if (pieces.back().guid.compare(guid, Qt::CaseInsensitive) != 0 ||
            pieces.back().fullLength != pieces.front().fullLength)
            return {};
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece &a, const Piece &b) { return a.offset < b.offset; });
    QByteArray whole;
    for (const Piece &piece : pieces) {
        if (piece.offset != quint32(whole.size()))
            return {};
        whole += piece.data;
    }
    if (pieces.empty() || whole.size() != qsizetype(pieces.front().fullLength))
        return {};
    const QByteArray md5 = QCryptographicHash::hash(whole, QCryptographicHash::Md5).toHex();
    return md5.compare(guid, Qt::CaseInsensitive) == 0 ? whole : QByteArray();
}

bool HoldsPicture(const QByteArray &whole)
{
    return whole.contains("GImage") || whole.contains("GDepth") || whole.contains("xmpGImg");
}

// The main packet without its pointer; the packet as it is when it has none
// or cannot be rewritten.
QByteArray WithoutPointer(const QByteArray &packet, Exiv2::XmpData &xmp)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(kPointerKey));
    if (it == xmp.end())
        return packet;
    xmp.erase(it);
    std::string out;
    if (Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
        return {};
    return QByteArray::fromStdString(out);
}

} // namespace

QList<QByteArray> ReadExtendedXmpSegments(const QByteArray &jpeg)
{
    QList<QByteArray> pieces;
    const auto *b = reinterpret_cast<const uchar *>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return pieces;
    qsizetype at = 2;
    while (at + 4 <= n) {
        if (b[at] != 0xFF)
            break;
        const uchar marker = b[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // the scan, or the end
            break;
        const qsizetype length = qFromBigEndian<quint16>(b + at + 2);
        if (length < 2 || at + 2 + length > n)
            break;
        const QByteArrayView payload(jpeg.constData() + at + 4, length - 2);
        if (marker == 0xE1 && payload.startsWith(kSignature) &&
            payload.size() >= kSignature.size() + kPieceHeader)
            pieces << payload.sliced(kSignature.size()).toByteArray();
        at += 2 + length;
    }
    return pieces;
}

SettledXmp SettleExtendedXmp(const QByteArray &xmp, const QList<QByteArray> &extension, bool carry,
                             QStringList &warnings)
{
    SettledXmp settled{xmp, {}};
    if (extension.isEmpty() && !xmp.contains("HasExtendedXMP"))
        return settled;
    InitPhotoMetadataLibrary();
    try {
        Exiv2::XmpData data;
        if (xmp.isEmpty() ||
            Exiv2::XmpParser::decode(data, std::string(xmp.constData(), size_t(xmp.size()))) != 0) {
            if (!extension.isEmpty())
                warnings << u"extended XMP left out: the main XMP packet cannot be read"_s;
            return settled;
        }
        const QByteArray guid = PointerOf(data);
        QString why;
        if (extension.isEmpty()) {
            // A pointer to pieces the source does not have: nothing to keep.
        } else if (!carry) {
            why = u"only JPEG output holds it"_s;
        } else if (guid.isEmpty()) {
            why = u"the main XMP packet does not point to it"_s;
        } else if (const QByteArray whole = Joined(extension, guid); whole.isEmpty()) {
            why = u"its pieces are not whole"_s;
        } else if (HoldsPicture(whole)) {
            why = u"it holds a picture of the photo"_s;
        } else {
            settled.extension = extension;
            return settled;
        }
        if (!why.isEmpty())
            warnings << u"extended XMP left out: "_s + why;
        settled.xmp = WithoutPointer(xmp, data);
        if (settled.xmp.isEmpty() && !xmp.isEmpty())
            warnings << u"XMP left out: its pointer to the extended XMP cannot be removed"_s;
    } catch (const std::exception &e) {
        settled.xmp.clear();
        warnings << u"XMP left out: "_s + QString::fromLocal8Bit(e.what());
    }
    return settled;
}

} // namespace kw
