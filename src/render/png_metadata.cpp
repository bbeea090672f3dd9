#include "render/png_metadata.h"

#include <QtEndian>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype kSignatureSize = 8;

QByteArray Chunk(const char *type, const QByteArray &data)
{
    QByteArray chunk;
    chunk.reserve(data.size() + 12);
    uchar length[4];
    qToBigEndian(quint32(data.size()), length);
    chunk.append(reinterpret_cast<const char *>(length), 4);
    chunk.append(type, 4);
    chunk.append(data);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(data.constData()), size_t(data.size()));
    uchar crcBytes[4];
    qToBigEndian(quint32(crc), crcBytes);
    chunk.append(reinterpret_cast<const char *>(crcBytes), 4);
    return chunk;
}

Result<QByteArray> Compressed(const QByteArray &data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return Failure{u"cannot compress the colour profile"_s};
    out.truncate(qsizetype(size));
    return out;
}

struct ChunkScan
{
    qsizetype firstIdat = -1;
    bool hasIccp = false;
};

Result<ChunkScan> Scan(const QByteArray &png)
{
    if (!png.startsWith(QByteArray(kSignature, kSignatureSize)))
        return Failure{u"the PNG encoder wrote no PNG stream"_s};
    ChunkScan scan;
    for (qsizetype at = kSignatureSize; at + 8 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT") {
            scan.firstIdat = at;
            return scan;
        }
        if (type == "iCCP")
            scan.hasIccp = true;
        if (length > quint32(png.size() - at - 12))
            break;
        at += 12 + qsizetype(length);
    }
    return Failure{u"the PNG stream has no image data"_s};
}

} // namespace

Result<QByteArray> AddPngMetadata(const QByteArray &png, const OutputMetadata &metadata)
{
    const Result<ChunkScan> scan = Scan(png);
    if (!scan)
        return Failure{scan.error()};
    QByteArray chunks;
    if (!metadata.iccProfile.isEmpty() && !scan->hasIccp) {
        const Result<QByteArray> deflated = Compressed(metadata.iccProfile);
        if (!deflated)
            return Failure{deflated.error()};
        // Profile name, its terminator, compression method 0 (zlib).
        chunks += Chunk("iCCP", QByteArray("ICC profile\0\0", 13) + *deflated);
    }
    if (!metadata.exif.isEmpty())
        chunks += Chunk("eXIf", metadata.exif);
    if (!metadata.xmp.isEmpty()) {
        // Keyword, terminator, no compression (flag and method 0), empty
        // language tag and translated keyword, each ended by 0.
        chunks += Chunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + metadata.xmp);
    }
    QByteArray out;
    out.reserve(png.size() + chunks.size());
    out.append(png.constData(), scan->firstIdat);
    out.append(chunks);
    out.append(png.constData() + scan->firstIdat, png.size() - scan->firstIdat);
    return out;
}

} // namespace kw
