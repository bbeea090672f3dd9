#include "render/jpeg_encoder.h"

#include "render/jpeg_errors.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace kw {

// The colour profile as ICC_PROFILE chunks, numbered from 1, each with the
// chunk count.
Status AppendIccSegments(JpegSegments &out, const QByteArray &profile)
{
    constexpr qsizetype kChunk = kMaxSegmentPayload - 14;
    const qsizetype count = (profile.size() + kChunk - 1) / kChunk;
    if (count > 255)
        return Failure{u"colour profile left out: larger than 255 JPEG segments"_s};
    for (qsizetype i = 0; i < count; ++i) {
        QByteArray payload("ICC_PROFILE\0", 12);
        payload.append(char(i + 1)).append(char(count));
        payload.append(profile.mid(i * kChunk, kChunk));
        out.append({JPEG_APP0 + 2, payload});
    }
    return {};
}

// The APPn segments that carry the source's metadata, in the order readers
// expect them: EXIF, XMP, the colour profile, IPTC.
JpegSegments JpegMetadataSegments(const OutputMetadata &metadata, QStringList &warnings)
{
    JpegSegments out;
    if (!metadata.exif.isEmpty())
        out.append({JPEG_APP0 + 1, QByteArray("Exif\0\0", 6) + metadata.exif});
    if (!metadata.xmp.isEmpty()) {
        const QByteArray header("http://ns.adobe.com/xap/1.0/\0", 29);
        if (header.size() + metadata.xmp.size() <= kMaxSegmentPayload) {
            out.append({JPEG_APP0 + 1, header + metadata.xmp});
            // The extended XMP follows the packet that points to it.
            const QByteArray extension("http://ns.adobe.com/xmp/extension/\0", 35);
            for (const QByteArray &piece : metadata.xmpExtension)
                out.append({JPEG_APP0 + 1, extension + piece});
        } else {
            warnings << u"XMP left out: larger than a JPEG segment"_s;
        }
    }
    if (!metadata.iccProfile.isEmpty()) {
        if (const Status icc = AppendIccSegments(out, metadata.iccProfile); !icc)
            warnings << icc.error();
    }
    if (!metadata.iptc.isEmpty()) {
        // One Photoshop image resource 0x0404 (IPTC) with an empty name.
        QByteArray payload("Photoshop 3.0\0"
                           "8BIM\x04\x04\0\0",
                           22);
        const quint32 size = quint32(metadata.iptc.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            payload.append(char((size >> shift) & 0xFF));
        payload.append(metadata.iptc);
        if (size % 2)
            payload.append('\0');
        if (payload.size() <= kMaxSegmentPayload)
            out.append({JPEG_APP0 + 13, payload});
        else
            warnings << u"IPTC left out: larger than a JPEG segment"_s;
    }
    return out;
}

namespace {

// Streams the encoder's output to a device in large blocks.
struct JpegDestination
{
    jpeg_destination_mgr manager; // first, as above
    QIODevice *device;
    JOCTET *buffer;
    size_t size;
};

extern "C" void JpegInitDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    dest->manager.next_output_byte = dest->buffer;
    dest->manager.free_in_buffer = dest->size;
}

extern "C" boolean JpegEmptyBuffer(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer), qint64(dest->size)) !=
        qint64(dest->size))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    JpegInitDestination(cinfo);
    return TRUE;
}

extern "C" void JpegTermDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
    const auto used = qint64(dest->size - dest->manager.free_in_buffer);
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer), used) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Rows handed to the encoder at a time. For quarter turns each strip reads a
// run of this many pixels from every upright row, so longer runs cost fewer
// cache and page misses.
constexpr int kStripRows = 64;

// Stored rows [first, first + count) of the layout a source with EXIF
// `orientation` (2 to 8) stores, taken from the upright picture, into `strip`
// (rows of `storedWidth` pixels). Quarter turns read a few neighbouring
// pixels of each upright row per stored row, so memory is read in order.
void FillStrip(const QImage &upright, int orientation, int first, int count, int storedWidth,
               QRgb *strip)
{
    const int uw = upright.width(), uh = upright.height();
    if (orientation <= 4) {
        for (int i = 0; i < count; ++i) {
            const int sy = first + i;
            const int uy = orientation == 2 ? sy : uh - 1 - sy;
            const auto *line = reinterpret_cast<const QRgb *>(upright.constScanLine(uy));
            QRgb *row = strip + qsizetype(i) * storedWidth;
            if (orientation == 4)
                std::copy(line, line + uw, row);
            else
                std::reverse_copy(line, line + uw, row);
        }
        return;
    }
    // Stored row sy is upright column x(sy), read down (5, 6) or up (7, 8).
    // Each upright row gives `count` neighbouring pixels, one to each stored row.
    const bool columnFromLeft = orientation == 5 || orientation == 8;
    const bool downwards = orientation == 5 || orientation == 6;
    const int step = columnFromLeft ? 1 : -1;
    const int firstColumn = columnFromLeft ? first : uw - 1 - first;
    // In tiles of kTile upright rows, so that reads and writes both stay
    // within a few pages.
    constexpr int kTile = 16;
    const QRgb *rowsOf[kTile];
    for (int sx0 = 0; sx0 < storedWidth; sx0 += kTile) {
        const int tile = std::min(kTile, storedWidth - sx0);
        for (int t = 0; t < tile; ++t) {
            const int sx = sx0 + t;
            rowsOf[t] = reinterpret_cast<const QRgb *>(
                            upright.constScanLine(downwards ? sx : uh - 1 - sx)) +
                        firstColumn;
        }
        for (int i = 0; i < count; ++i) {
            QRgb *to = strip + qsizetype(i) * storedWidth + sx0;
            const int offset = i * step;
            for (int t = 0; t < tile; ++t)
                to[t] = rowsOf[t][offset];
        }
    }
}

} // namespace

Status EncodeJpeg(const QImage &upright, int orientation, const JpegSegments &segments,
                  QIODevice *device, int quality)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN || Q_BYTE_ORDER == Q_BIG_ENDIAN);
    if (quality < 1 || quality > 100)
        return Failure{QStringLiteral("the JPEG quality %1 is outside 1 to 100").arg(quality)};
    const bool turned = orientation >= 2 && orientation <= 8;
    const bool transposed = orientation >= 5 && orientation <= 8;
    const int storedWidth = transposed ? upright.height() : upright.width();
    const int storedHeight = transposed ? upright.width() : upright.height();
    // Everything that must be destroyed exists before the jump target.
    std::vector<JOCTET> output(size_t(1) << 18);
    std::vector<QRgb> strip(turned ? size_t(storedWidth) * kStripRows : 0);
    std::array<JSAMPROW, kStripRows> rows = {};
    jpeg_compress_struct cinfo = {};
    JpegError error = {};
    JpegDestination destination = {{}, device, output.data(), output.size()};

    cinfo.err = error.install();
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return Failure{error.text()};
    }
    jpeg_create_compress(&cinfo);
    destination.manager.init_destination = JpegInitDestination;
    destination.manager.empty_output_buffer = JpegEmptyBuffer;
    destination.manager.term_destination = JpegTermDestination;
    cinfo.dest = &destination.manager;
    cinfo.image_width = JDIMENSION(storedWidth);
    cinfo.image_height = JDIMENSION(storedHeight);
    cinfo.input_components = 4;
    // QRgb in memory: blue, green, red, alpha on little-endian machines.
    cinfo.in_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = FALSE;
    cinfo.dct_method = JDCT_ISLOW;
    const int lumaSampling = quality >= kFullChromaJpegQuality ? 1 : 2;
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = lumaSampling;
    for (int c = 1; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    // An Exif file starts with its EXIF segment; the JFIF header only comes
    // when there is none, carrying the resolution.
    const bool exif = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
    cinfo.write_JFIF_header = exif ? FALSE : TRUE;
    const int dpiX = qRound(upright.dotsPerMeterX() * 0.0254);
    const int dpiY = qRound(upright.dotsPerMeterY() * 0.0254);
    if (dpiX > 0 && dpiY > 0 && dpiX <= 0xFFFF && dpiY <= 0xFFFF) {
        cinfo.density_unit = 1;
        cinfo.X_density = UINT16(transposed ? dpiY : dpiX);
        cinfo.Y_density = UINT16(transposed ? dpiX : dpiY);
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const JpegSegment &segment : segments)
        jpeg_write_marker(&cinfo, segment.marker,
                          reinterpret_cast<const JOCTET *>(segment.payload.constData()),
                          unsigned(segment.payload.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int first = int(cinfo.next_scanline);
        const int count = std::min(kStripRows, storedHeight - first);
        if (!turned || orientation == 4) {
            for (int i = 0; i < count; ++i) {
                const int y = turned ? storedHeight - 1 - (first + i) : first + i;
                rows[size_t(i)] = const_cast<JSAMPROW>(upright.constScanLine(y));
            }
        } else {
            FillStrip(upright, orientation, first, count, storedWidth, strip.data());
            for (int i = 0; i < count; ++i)
                rows[size_t(i)] =
                    reinterpret_cast<JSAMPROW>(strip.data() + qsizetype(i) * storedWidth);
        }
        jpeg_write_scanlines(&cinfo, rows.data(), JDIMENSION(count));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return {};
}

} // namespace kw
