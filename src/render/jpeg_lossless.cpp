#include "render/jpeg_lossless.h"

#include "render/jpeg_dct.h"
#include "render/jpeg_errors.h"

#include <QIODevice>
#include <QRect>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Streams the output to the device in large blocks, never holding the
// whole file.
struct DeviceDestination
{
    jpeg_destination_mgr manager; // first, as above
    QIODevice *device;
    std::vector<JOCTET> buffer;
};

extern "C" void StartDeviceOutput(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<DeviceDestination *>(cinfo->dest);
    dest->manager.next_output_byte = dest->buffer.data();
    dest->manager.free_in_buffer = dest->buffer.size();
}

extern "C" boolean FlushDeviceOutput(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<DeviceDestination *>(cinfo->dest);
    const auto size = qint64(dest->buffer.size());
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer.data()), size) != size)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    StartDeviceOutput(cinfo);
    return TRUE;
}

extern "C" void FinishDeviceOutput(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<DeviceDestination *>(cinfo->dest);
    const auto used = qint64(dest->buffer.size() - dest->manager.free_in_buffer);
    if (dest->device->write(reinterpret_cast<const char *>(dest->buffer.data()), used) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Why the coefficient path cannot take a decoder whose header has been read;
// empty when it can.
QString RefusalOf(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.data_precision != 8)
        return u"%1-bit samples"_s.arg(cinfo.data_precision);
    if (cinfo.arith_code)
        return u"arithmetic coding"_s;
    if (cinfo.num_components != 3 || cinfo.jpeg_color_space != JCS_YCbCr)
        return cinfo.num_components == 1 ? u"a grey JPEG"_s
                                         : u"not a YCbCr JPEG (CMYK, YCCK or RGB)"_s;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &comp = cinfo.comp_info[c];
        if (comp.h_samp_factor <= 0 || comp.v_samp_factor <= 0 ||
            cinfo.max_h_samp_factor % comp.h_samp_factor != 0 ||
            cinfo.max_v_samp_factor % comp.v_samp_factor != 0)
            return u"unusual chroma sampling"_s;
    }
    return {};
}

// The JFIF conversion of premultiplied R, G, B to one component, without
// its offset (128 for the chroma components).
struct ComponentWeights
{
    float r, g, b, offset;
};
constexpr ComponentWeights kYCbCr[3] = {
    {0.299f, 0.587f, 0.114f, 0.0f},
    {-0.168736f, -0.331264f, 0.5f, 128.0f},
    {0.5f, -0.418688f, -0.081312f, 128.0f},
};

// The mark as one component at that component's sampling, one row of
// blocks (8 rows of samples) at a time: for each sample, the mean alpha
// `cover` of the pixels it stands for and the mean of their premultiplied
// mark value `ink` (offset included for the part covered), so that the
// blended sample is ink + (1 - cover) * source. Blending in YCbCr is exact, as
// the colour conversion is affine; at chroma resolution it takes the source's
// chroma as constant over the pixels of one sample.
struct MarkBand
{
    int x0 = 0, width = 0; // samples of the component across the mark
    int y0 = 0, height = 0;
    std::vector<float> cover;
    std::vector<float> ink;
};

// The band of samples [y0, y1) over columns [x0, x0 + width).
void FillBand(const MarkOverlay &overlay, const QRect &box, QSize image, int rx, int ry,
              const ComponentWeights &w, int y0, int y1, MarkBand &band)
{
    band.y0 = y0;
    band.height = y1 - y0;
    const size_t size = size_t(band.width) * size_t(band.height);
    band.cover.assign(size, 0.0f);
    band.ink.assign(size, 0.0f);
    const int top = std::max(box.top(), y0 * ry);
    const int bottom = std::min(box.bottom(), y1 * ry - 1);
    for (int y = top; y <= bottom; ++y) {
        const auto *line =
            reinterpret_cast<const QRgb *>(overlay.image.constScanLine(y - overlay.origin.y())) -
            overlay.origin.x();
        const size_t row = size_t(y / ry - y0) * size_t(band.width);
        for (int x = box.left(); x <= box.right(); ++x) {
            // Blank pixels (all zero, being premultiplied) two at a time.
            if (x < box.right()) {
                uint64_t pair;
                std::memcpy(&pair, line + x, sizeof pair);
                if (pair == 0) {
                    ++x;
                    continue;
                }
            }
            const QRgb p = line[x];
            if (p == 0)
                continue;
            const float a = float(qAlpha(p)) * (1.0f / 255.0f);
            const size_t at = row + size_t(x / rx - band.x0);
            band.cover[at] += a;
            band.ink[at] += w.r * float(qRed(p)) + w.g * float(qGreen(p)) + w.b * float(qBlue(p)) +
                            a * w.offset;
        }
    }
    if (rx == 1 && ry == 1)
        return;
    // Means over the pixels of the image each sample stands for.
    for (int sy = 0; sy < band.height; ++sy) {
        const int first = (y0 + sy) * ry;
        const int rows = std::min(first + ry, image.height()) - first;
        for (int sx = 0; sx < band.width; ++sx) {
            const int left = (band.x0 + sx) * rx;
            const float count = float((std::min(left + rx, image.width()) - left) * rows);
            const size_t at = size_t(sy) * size_t(band.width) + size_t(sx);
            band.cover[at] /= count;
            band.ink[at] /= count;
        }
    }
}

// Blends the mark into every block of one component that it reaches, a row
// of blocks at a time; returns how many blocks were re-encoded.
qint64 BlendComponent(j_decompress_ptr cinfo, jvirt_barray_ptr blocks,
                      const jpeg_component_info &comp, const MarkOverlay &overlay, QSize image,
                      int rx, int ry, const ComponentWeights &weights, MarkBand &band)
{
    const QRect box = QRect(overlay.origin, overlay.image.size()) & QRect(QPoint(0, 0), image);
    if (box.isEmpty())
        return 0;
    const uint16_t *quant = comp.quant_table->quantval;
    band.x0 = box.left() / rx;
    band.width = box.right() / rx + 1 - band.x0;
    const int sy0 = box.top() / ry, sy1 = box.bottom() / ry + 1;
    const int bx0 = band.x0 / 8, bx1 = (band.x0 + band.width - 1) / 8;
    qint64 reencoded = 0;
    float samples[kDctBlockSize];
    for (int by = sy0 / 8; by <= (sy1 - 1) / 8 && by < int(comp.height_in_blocks); ++by) {
        FillBand(overlay, box, image, rx, ry, weights, std::max(by * 8, sy0),
                 std::min(by * 8 + 8, sy1), band);
        JBLOCKARRAY row = nullptr; // fetched when the first block of the row needs it
        for (int bx = bx0; bx <= bx1 && bx < int(comp.width_in_blocks); ++bx) {
            // The block's samples that lie in the band.
            const int sx0 = std::max(bx * 8, band.x0) - band.x0;
            const int sx1 = std::min(bx * 8 + 8, band.x0 + band.width) - band.x0;
            bool reached = false;
            for (int sy = 0; sy < band.height && !reached; ++sy) {
                const float *cover = band.cover.data() + size_t(sy) * size_t(band.width);
                reached = std::any_of(cover + sx0, cover + sx1, [](float a) { return a > 0.0f; });
            }
            if (!reached)
                continue; // copied unchanged
            if (!row)
                row = (*cinfo->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                        blocks, JDIMENSION(by), 1, TRUE);
            JCOEF *coefficients = row[0][bx];
            InverseDctBlock(coefficients, quant, samples);
            for (int sy = 0; sy < band.height; ++sy) {
                const size_t at = size_t(sy) * size_t(band.width);
                float *line = samples + (band.y0 + sy - by * 8) * 8 - bx * 8 + band.x0;
                for (int sx = sx0; sx < sx1; ++sx)
                    line[sx] =
                        band.ink[at + size_t(sx)] + (1.0f - band.cover[at + size_t(sx)]) * line[sx];
            }
            ForwardDctBlock(samples, quant, coefficients);
            ++reencoded;
        }
    }
    return reencoded;
}

} // namespace

Result<JpegCoefficientSource> ProbeJpegCoefficientSource(const QByteArray &file)
{
    jpeg_decompress_struct cinfo = {};
    JpegError error = {};
    cinfo.err = error.install();
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{error.text()};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    const QString refusal = RefusalOf(cinfo);
    JpegCoefficientSource source;
    source.stored = QSize(int(cinfo.image_width), int(cinfo.image_height));
    source.progressive = cinfo.progressive_mode;
    jpeg_destroy_decompress(&cinfo);
    if (!refusal.isEmpty())
        return Failure{refusal};
    return source;
}

Result<CoefficientWriteStats> WriteWatermarkedCoefficients(const QByteArray &file,
                                                           const MarkOverlay &overlay,
                                                           const JpegSegments &segments,
                                                           const CoefficientWriteOptions &options,
                                                           QIODevice *device)
{
    // Everything that must be destroyed exists before the jump target.
    jpeg_decompress_struct src = {};
    jpeg_compress_struct dst = {};
    JpegError srcError = {}, dstError = {};
    DeviceDestination destination{{}, device, std::vector<JOCTET>(size_t(1) << 18)};
    MarkBand band;
    CoefficientWriteStats stats;
    src.err = srcError.install();
    dst.err = dstError.install();
    const auto cleanUp = [&] {
        jpeg_destroy_compress(&dst);
        jpeg_destroy_decompress(&src);
    };
    if (setjmp(srcError.jump)) {
        cleanUp();
        return Failure{srcError.text()};
    }
    if (setjmp(dstError.jump)) {
        cleanUp();
        return Failure{dstError.text()};
    }
    jpeg_create_decompress(&src);
    jpeg_create_compress(&dst);
    jpeg_mem_src(&src, reinterpret_cast<const unsigned char *>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&src, TRUE);
    if (const QString refusal = RefusalOf(src); !refusal.isEmpty()) {
        cleanUp();
        return Failure{refusal};
    }
    jvirt_barray_ptr *coefficients = jpeg_read_coefficients(&src);
    if (src.err->num_warnings > 0) {
        cleanUp();
        return Failure{u"corrupt JPEG data"_s};
    }

    const QSize image(int(src.image_width), int(src.image_height));
    for (int c = 0; c < src.num_components; ++c) {
        const jpeg_component_info &comp = src.comp_info[c];
        stats.blocks += qint64(comp.width_in_blocks) * qint64(comp.height_in_blocks);
        if (overlay.image.isNull())
            continue;
        if (!comp.quant_table) {
            cleanUp();
            return Failure{u"a component without a quantisation table"_s};
        }
        stats.reencoded += BlendComponent(
            &src, coefficients[c], comp, overlay, image, src.max_h_samp_factor / comp.h_samp_factor,
            src.max_v_samp_factor / comp.v_samp_factor, kYCbCr[c], band);
    }
    band = {};

    jpeg_copy_critical_parameters(&src, &dst);
    if (src.progressive_mode)
        jpeg_simple_progression(&dst);
    dst.optimize_coding = options.optimiseHuffman || src.progressive_mode ? TRUE : FALSE;
    dst.restart_interval = src.restart_interval;
    // An Exif file starts with its EXIF segment; the JFIF header stays only
    // when there is none and the source had one.
    const bool exif = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
    dst.write_JFIF_header = !exif && src.saw_JFIF_marker ? TRUE : FALSE;
    // Without JFIF, readers may take the Adobe marker's word that the
    // components are YCbCr (their IDs can say RGB): it stays when it was there.
    dst.write_Adobe_marker = src.saw_Adobe_marker;
    destination.manager.init_destination = StartDeviceOutput;
    destination.manager.empty_output_buffer = FlushDeviceOutput;
    destination.manager.term_destination = FinishDeviceOutput;
    dst.dest = &destination.manager;
    jpeg_write_coefficients(&dst, coefficients);
    for (const JpegSegment &segment : segments)
        jpeg_write_marker(&dst, segment.marker,
                          reinterpret_cast<const JOCTET *>(segment.payload.constData()),
                          unsigned(segment.payload.size()));
    jpeg_finish_compress(&dst);
    jpeg_finish_decompress(&src);
    cleanUp();
    return stats;
}

} // namespace kw
