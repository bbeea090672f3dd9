#include "render/jpeg_lossless.h"

#include "render/jpeg_dct.h"

#include <QIODevice>
#include <QRect>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstdlib>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// libjpeg reports errors through a callback that must not return: it jumps
// back to the function that owns the libjpeg objects.
struct JpegError
{
    jpeg_error_mgr manager; // first, so the library's pointer converts back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void CoefficientErrorExit(j_common_ptr cinfo)
{
    auto *error = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// Warnings are still counted (corrupt data must not pass as a good source);
// they are just not printed.
extern "C" void CoefficientIgnoreMessage(j_common_ptr) {}

void SetUpErrors(jpeg_error_mgr *manager)
{
    jpeg_std_error(manager);
    manager->error_exit = CoefficientErrorExit;
    manager->output_message = CoefficientIgnoreMessage;
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

// The mark as one component at that component's sampling: for each sample,
// the mean alpha `cover` of the pixels it stands for and the mean of their
// premultiplied mark value `ink` (offset included for the part covered), so
// that the blended sample is ink + (1 - cover) * source. Blending in YCbCr
// is exact, as the colour conversion is affine; at chroma resolution it takes
// the source's chroma as constant over the pixels of one sample.
struct ComponentMark
{
    int x0 = 0, y0 = 0, width = 0, height = 0; // in samples of the component
    std::vector<float> cover;
    std::vector<float> ink;
};

void BuildComponentMark(const MarkOverlay &overlay, QSize image, int rx, int ry,
                        const ComponentWeights &w, ComponentMark &mark)
{
    const QRect box = QRect(overlay.origin, overlay.image.size()) & QRect(QPoint(0, 0), image);
    mark = {};
    if (box.isEmpty())
        return;
    mark.x0 = box.left() / rx;
    mark.y0 = box.top() / ry;
    mark.width = box.right() / rx + 1 - mark.x0;
    mark.height = box.bottom() / ry + 1 - mark.y0;
    mark.cover.assign(size_t(mark.width) * size_t(mark.height), 0.0f);
    mark.ink.assign(mark.cover.size(), 0.0f);
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const auto *line =
            reinterpret_cast<const QRgb *>(overlay.image.constScanLine(y - overlay.origin.y())) -
            overlay.origin.x();
        const size_t row = size_t(y / ry - mark.y0) * size_t(mark.width);
        for (int x = box.left(); x <= box.right(); ++x) {
            const QRgb p = line[x];
            if (p == 0)
                continue;
            const float a = float(qAlpha(p)) / 255.0f;
            const size_t at = row + size_t(x / rx - mark.x0);
            mark.cover[at] += a;
            mark.ink[at] += w.r * float(qRed(p)) + w.g * float(qGreen(p)) + w.b * float(qBlue(p)) +
                            a * w.offset;
        }
    }
    // Means over the pixels of the image each sample stands for.
    for (int sy = 0; sy < mark.height; ++sy) {
        const int top = (mark.y0 + sy) * ry;
        const int rows = std::min(top + ry, image.height()) - top;
        for (int sx = 0; sx < mark.width; ++sx) {
            const int left = (mark.x0 + sx) * rx;
            const int count = (std::min(left + rx, image.width()) - left) * rows;
            const size_t at = size_t(sy) * size_t(mark.width) + size_t(sx);
            if (count > 1) {
                mark.cover[at] /= float(count);
                mark.ink[at] /= float(count);
            }
        }
    }
}

// Blends the mark into every block of one component that it reaches; returns
// how many blocks were re-encoded.
qint64 BlendComponent(j_decompress_ptr cinfo, jvirt_barray_ptr blocks,
                      const jpeg_component_info &comp, const ComponentMark &mark)
{
    if (mark.cover.empty())
        return 0;
    const uint16_t *quant = comp.quant_table->quantval;
    const int bx0 = mark.x0 / 8, bx1 = (mark.x0 + mark.width - 1) / 8;
    const int by0 = mark.y0 / 8, by1 = (mark.y0 + mark.height - 1) / 8;
    qint64 reencoded = 0;
    float samples[kDctBlockSize];
    for (int by = by0; by <= by1 && by < int(comp.height_in_blocks); ++by) {
        JBLOCKARRAY row = (*cinfo->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                            blocks, JDIMENSION(by), 1, TRUE);
        // The block's samples that lie in the mark's area.
        const int sy0 = std::max(by * 8, mark.y0) - mark.y0;
        const int sy1 = std::min(by * 8 + 8, mark.y0 + mark.height) - mark.y0;
        for (int bx = bx0; bx <= bx1 && bx < int(comp.width_in_blocks); ++bx) {
            const int sx0 = std::max(bx * 8, mark.x0) - mark.x0;
            const int sx1 = std::min(bx * 8 + 8, mark.x0 + mark.width) - mark.x0;
            bool reached = false;
            for (int sy = sy0; sy < sy1 && !reached; ++sy) {
                const float *cover = mark.cover.data() + size_t(sy) * size_t(mark.width);
                reached = std::any_of(cover + sx0, cover + sx1, [](float a) { return a > 0.0f; });
            }
            if (!reached)
                continue; // copied unchanged
            JCOEF *coefficients = row[0][bx];
            InverseDctBlock(coefficients, quant, samples);
            for (int sy = sy0; sy < sy1; ++sy) {
                const size_t at = size_t(sy) * size_t(mark.width);
                float *line = samples + (mark.y0 + sy - by * 8) * 8 - bx * 8 + mark.x0;
                for (int sx = sx0; sx < sx1; ++sx)
                    line[sx] =
                        mark.ink[at + size_t(sx)] + (1.0f - mark.cover[at + size_t(sx)]) * line[sx];
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
    cinfo.err = &error.manager;
    SetUpErrors(&error.manager);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{QString::fromLatin1(error.message)};
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
    unsigned char *output = nullptr;
    unsigned long outputSize = 0;
    ComponentMark mark;
    CoefficientWriteStats stats;
    src.err = &srcError.manager;
    dst.err = &dstError.manager;
    SetUpErrors(&srcError.manager);
    SetUpErrors(&dstError.manager);
    const auto cleanUp = [&] {
        jpeg_destroy_compress(&dst);
        jpeg_destroy_decompress(&src);
        std::free(output);
    };
    if (setjmp(srcError.jump)) {
        cleanUp();
        return Failure{QString::fromLatin1(srcError.message)};
    }
    if (setjmp(dstError.jump)) {
        cleanUp();
        return Failure{QString::fromLatin1(dstError.message)};
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
        BuildComponentMark(overlay, image, src.max_h_samp_factor / comp.h_samp_factor,
                           src.max_v_samp_factor / comp.v_samp_factor, kYCbCr[c], mark);
        stats.reencoded += BlendComponent(&src, coefficients[c], comp, mark);
    }
    mark = {};

    jpeg_copy_critical_parameters(&src, &dst);
    if (src.progressive_mode)
        jpeg_simple_progression(&dst);
    dst.optimize_coding = options.optimiseHuffman || src.progressive_mode ? TRUE : FALSE;
    dst.restart_interval = src.restart_interval;
    // An Exif file starts with its EXIF segment; the JFIF header stays only
    // when there is none and the source had one.
    const bool exif = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
    dst.write_JFIF_header = !exif && src.saw_JFIF_marker ? TRUE : FALSE;
    jpeg_mem_dest(&dst, &output, &outputSize);
    jpeg_write_coefficients(&dst, coefficients);
    for (const JpegSegment &segment : segments)
        jpeg_write_marker(&dst, segment.marker,
                          reinterpret_cast<const JOCTET *>(segment.payload.constData()),
                          unsigned(segment.payload.size()));
    jpeg_finish_compress(&dst);
    jpeg_finish_decompress(&src);
    const bool written = device->write(reinterpret_cast<const char *>(output),
                                       qint64(outputSize)) == qint64(outputSize);
    cleanUp();
    if (!written)
        return Failure{device->errorString()};
    return stats;
}

} // namespace kw
