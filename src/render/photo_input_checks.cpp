#include "render/photo_input_checks.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace kw::detail {

namespace {

uint16_t Read16BE(const uchar *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t Read32BE(const uchar *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t Read16LE(const uchar *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Read32LE(const uchar *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Walks JPEG marker segments by their lengths (so thumbnails inside APP
// segments do not count) and the entropy-coded data up to the next real
// marker.
bool JpegReachesEnd(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 2 || p[0] != 0xFF || p[1] != 0xD8)
        return true;
    qsizetype i = 2;
    for (;;) {
        // Bytes before a marker are tolerated by the decoder; skip them.
        const void *ff = i < n ? std::memchr(p + i, 0xFF, size_t(n - i)) : nullptr;
        if (!ff)
            return false;
        i = static_cast<const uchar *>(ff) - p;
        while (i < n && p[i] == 0xFF)
            ++i;
        if (i >= n)
            return false;
        const uchar marker = p[i++];
        if (marker == 0xD9)
            return true;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (n - i < 2)
            return false;
        const qsizetype length = Read16BE(p + i);
        if (length < 2)
            return true;
        if (n - i < length)
            return false;
        i += length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data ends at the first 0xFF that is not a stuffed zero
        // or a restart marker.
        for (;;) {
            const void *next = i < n ? std::memchr(p + i, 0xFF, size_t(n - i)) : nullptr;
            if (!next)
                return false;
            qsizetype j = static_cast<const uchar *>(next) - p + 1;
            while (j < n && p[j] == 0xFF)
                ++j;
            if (j >= n)
                return false;
            if (p[j] == 0x00 || (p[j] >= 0xD0 && p[j] <= 0xD7)) {
                i = j + 1;
                continue;
            }
            i = j - 1;
            break;
        }
    }
}

bool GifFirstImageComplete(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    auto skipSubBlocks = [&](qsizetype &i) {
        for (;;) {
            if (i >= n)
                return false;
            const int length = p[i++];
            if (length == 0)
                return true;
            i += length;
        }
    };
    if (n < 13)
        return false;
    qsizetype i = 13;
    if (p[10] & 0x80)
        i += 3 * (qsizetype(1) << ((p[10] & 7) + 1));
    for (;;) {
        if (i >= n)
            return false;
        const uchar block = p[i++];
        if (block == 0x21) { // extension: label, then sub-blocks
            ++i;
            if (!skipSubBlocks(i))
                return false;
        } else if (block == 0x2C) { // image descriptor
            if (n - i < 10)
                return false;
            const uchar flags = p[i + 8];
            i += 9;
            if (flags & 0x80)
                i += 3 * (qsizetype(1) << ((flags & 7) + 1));
            ++i; // LZW minimum code size
            return skipSubBlocks(i) && i <= n;
        } else {
            return true; // trailer or something the decoder will judge
        }
    }
}

bool BmpPixelsComplete(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 26)
        return false;
    const int64_t offset = Read32LE(p + 10);
    const uint32_t headerSize = Read32LE(p + 14);
    int64_t width = 0, height = 0, bitsPerPixel = 0;
    uint32_t compression = 0, imageSize = 0;
    if (headerSize == 12) {
        width = Read16LE(p + 18);
        height = Read16LE(p + 20);
        bitsPerPixel = Read16LE(p + 24);
    } else {
        if (n < 38)
            return false;
        width = int32_t(Read32LE(p + 18));
        height = int32_t(Read32LE(p + 22));
        bitsPerPixel = Read16LE(p + 28);
        compression = Read32LE(p + 30);
        imageSize = Read32LE(p + 34);
    }
    if (height < 0)
        height = -height;
    int64_t needed = 0;
    if (compression == 0 || compression == 3 || compression == 6) {
        if (width <= 0 || height <= 0 || bitsPerPixel <= 0)
            return true;
        const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        // More rows than the whole file could hold are not all there (and
        // their size could overflow).
        if (height - 1 > n / rowBytes)
            return false;
        // The last row's padding is sometimes left out.
        needed = rowBytes * (height - 1) + (width * bitsPerPixel + 7) / 8;
    } else {
        needed = imageSize; // run-length data: its stored size, when given
    }
    return offset + needed <= n;
}

// ---- PNG ----

struct PngHeader
{
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    bool interlaced = false;
};

// libpng's own limit on either side of a picture it will read.
constexpr uint32_t kPngMaxSide = 1'000'000;

int PngChannels(int colorType)
{
    switch (colorType) {
    case 0:
    case 3:
        return 1;
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 0;
    }
}

QString CheckPngHeader(const uchar *d, uint32_t length, PngHeader &h)
{
    const QString invalid = u"cannot decode photo: the PNG header is invalid"_s;
    if (length != 13)
        return invalid;
    h.width = Read32BE(d);
    h.height = Read32BE(d + 4);
    h.bitDepth = d[8];
    h.colorType = d[9];
    h.interlaced = d[12] == 1;
    if (h.width == 0 || h.height == 0 || h.width > kPngMaxSide || h.height > kPngMaxSide)
        return invalid;
    const int depth = h.bitDepth;
    bool depthFits = false;
    switch (h.colorType) {
    case 0:
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3:
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2:
    case 4:
    case 6:
        depthFits = depth == 8 || depth == 16;
        break;
    default:
        break;
    }
    if (!depthFits || d[10] != 0 || d[11] != 0 || d[12] > 1)
        return invalid;
    return {};
}

// Follows the inflated image data row by row, as libpng reads it: each row
// of each interlace pass starts with a filter type byte from 0 to 4.
class PngRowWalker
{
public:
    explicit PngRowWalker(const PngHeader &h)
        : m_header(h), m_bitsPerPixel(uint64_t(PngChannels(h.colorType)) * uint64_t(h.bitDepth)),
          m_pass(h.interlaced ? 0 : 7)
    {
        nextPass();
    }

    bool done() const { return m_pass > 7; }
    bool badFilter() const { return m_badFilter; }

    // Consumes inflated bytes up to the end of the image data.
    void feed(const uchar *data, size_t size)
    {
        while (size > 0 && !done()) {
            if (m_rowLeft == 0) {
                if (*data > 4) {
                    m_badFilter = true;
                    m_pass = 8;
                    return;
                }
                m_rowLeft = m_rowBytes;
                ++data;
                --size;
                if (m_rowLeft == 0)
                    endRow();
                continue;
            }
            const uint64_t take = std::min<uint64_t>(m_rowLeft, size);
            m_rowLeft -= take;
            data += take;
            size -= size_t(take);
            if (m_rowLeft == 0)
                endRow();
        }
    }

private:
    void endRow()
    {
        if (++m_row == m_rows) {
            ++m_pass;
            nextPass();
        } else {
            m_rowLeft = 0;
        }
    }

    // Moves to the next pass that has pixels: passes 0 to 6 of an interlaced
    // picture, or pass 7, the whole picture, of one that is not.
    void nextPass()
    {
        static constexpr std::array<std::array<int, 4>, 7> kAdam7 = {{
            {0, 0, 8, 8},
            {4, 0, 8, 8},
            {0, 4, 4, 8},
            {2, 0, 4, 4},
            {0, 2, 2, 4},
            {1, 0, 2, 2},
            {0, 1, 1, 2},
        }};
        const int last = m_header.interlaced ? 6 : 7;
        for (; m_pass <= last; ++m_pass) {
            uint64_t width = m_header.width, height = m_header.height;
            if (m_pass < 7) {
                const auto &[x0, y0, dx, dy] = kAdam7[size_t(m_pass)];
                width = width > uint64_t(x0)
                            ? (width - uint64_t(x0) + uint64_t(dx) - 1) / uint64_t(dx)
                            : 0;
                height = height > uint64_t(y0)
                             ? (height - uint64_t(y0) + uint64_t(dy) - 1) / uint64_t(dy)
                             : 0;
            }
            if (width == 0 || height == 0)
                continue; // a pass without pixels has no rows at all
            m_rows = height;
            m_row = 0;
            m_rowBytes = (width * m_bitsPerPixel + 7) / 8;
            m_rowLeft = 0;
            return;
        }
        m_pass = 8;
    }

    PngHeader m_header;
    uint64_t m_bitsPerPixel;
    int m_pass;
    uint64_t m_rows = 0, m_row = 0, m_rowBytes = 0, m_rowLeft = 0;
    bool m_badFilter = false;
};

} // namespace

QString CutShortReason()
{
    return u"cannot decode photo: the file ends before the picture does"_s;
}

QString CheckJpegEnd(const QByteArray &bytes)
{
    return JpegReachesEnd(bytes) ? QString() : CutShortReason();
}

QString CheckGifFirstImage(const QByteArray &bytes)
{
    return GifFirstImageComplete(bytes) ? QString() : CutShortReason();
}

QString CheckBmpPixels(const QByteArray &bytes)
{
    return BmpPixelsComplete(bytes) ? QString() : CutShortReason();
}

QString CheckPngStructure(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    const QString damagedData = u"cannot decode photo: the PNG image data is damaged"_s;
    qsizetype i = 8; // the signature, which the format detection has matched
    PngHeader header;
    bool haveHeader = false, havePalette = false, idatSeen = false, idatDone = false;
    bool dataComplete = false;

    z_stream zs = {};
    bool zsOpen = false;
    struct Closer
    {
        z_stream &zs;
        bool &open;
        ~Closer()
        {
            if (open)
                inflateEnd(&zs);
        }
    } closer{zs, zsOpen};
    std::array<uchar, 65536> scratch;
    std::optional<PngRowWalker> rows;

    for (;;) {
        if (n - i < 12)
            return CutShortReason();
        const uint32_t length = Read32BE(p + i);
        const uchar *type = p + i + 4;
        if (length > 0x7FFFFFFFu)
            return u"cannot decode photo: a PNG chunk has an impossible length"_s;
        if (uint64_t(n - i - 12) < length)
            return CutShortReason();
        for (int k = 0; k < 4; ++k) {
            const uchar c = type[k] & ~0x20;
            if (c < 'A' || c > 'Z')
                return u"cannot decode photo: a PNG chunk has an invalid type"_s;
        }
        const QString name = QString::fromLatin1(reinterpret_cast<const char *>(type), 4);
        const bool critical = !(type[0] & 0x20);
        const uchar *data = type + 4;
        const uint32_t stored = Read32BE(data + length);
        const uint32_t computed = uint32_t(crc32(crc32(0, nullptr, 0), type, length + 4));
        if (critical && stored != computed)
            return u"cannot decode photo: the PNG chunk %1 is damaged (checksum mismatch)"_s.arg(
                name);
        i += 12 + qsizetype(length);

        const bool isIdat = name == u"IDAT"_s;
        if (idatSeen && !isIdat)
            idatDone = true;
        if (!haveHeader) {
            if (name != u"IHDR"_s)
                return u"cannot decode photo: the PNG header chunk is missing"_s;
            if (QString why = CheckPngHeader(data, length, header); !why.isEmpty())
                return why;
            haveHeader = true;
            rows.emplace(header);
        } else if (name == u"IHDR"_s) {
            return u"cannot decode photo: the PNG has a second header chunk"_s;
        } else if (name == u"PLTE"_s) {
            if (havePalette || idatSeen)
                return u"cannot decode photo: the PNG palette is out of place"_s;
            if (header.colorType == 3 && (length == 0 || length % 3 != 0 || length > 3 * 256))
                return u"cannot decode photo: the PNG palette is invalid"_s;
            havePalette = true;
        } else if (isIdat) {
            if (header.colorType == 3 && !havePalette)
                return u"cannot decode photo: the PNG palette is missing"_s;
            if (idatDone || dataComplete) {
                idatSeen = true;
                continue; // more data than the picture needs: the decoder only warns
            }
            if (!zsOpen) {
                if (inflateInit(&zs) != Z_OK)
                    return u"cannot decode photo: not enough memory"_s;
                zsOpen = true;
                // The check stops at the picture's last row, before the
                // stream's checksum: computing it would only cost time.
                inflateValidate(&zs, 0);
            }
            idatSeen = true;
            zs.next_in = const_cast<uchar *>(data);
            zs.avail_in = length;
            while (zs.avail_in > 0 && !dataComplete) {
                zs.next_out = scratch.data();
                zs.avail_out = uInt(scratch.size());
                const int status = inflate(&zs, Z_NO_FLUSH);
                rows->feed(scratch.data(), scratch.size() - zs.avail_out);
                if (rows->badFilter())
                    return damagedData + u" (a row has an unknown filter type)"_s;
                if (rows->done())
                    dataComplete = true;
                else if (status == Z_STREAM_END)
                    return damagedData + u" (it is shorter than the picture)"_s;
                else if (status != Z_OK && status != Z_BUF_ERROR)
                    return damagedData +
                           (zs.msg ? u" ("_s + QString::fromLatin1(zs.msg) + u")"_s : QString());
                else if (status == Z_BUF_ERROR && zs.avail_in > 0)
                    return damagedData;
            }
        } else if (name == u"IEND"_s) {
            if (!idatSeen)
                return u"cannot decode photo: the PNG has no image data"_s;
            if (!dataComplete)
                return damagedData + u" (it is shorter than the picture)"_s;
            return {};
        } else if (critical) {
            return u"cannot decode photo: the PNG has an unknown critical chunk %1"_s.arg(name);
        }
    }
}

} // namespace kw::detail
