#include "render/jpeg_rgb_input.h"

#include "render/huge_pages.h"
#include "render/jpeg_errors.h"

#include <QColorSpace>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace kw::detail {

namespace {

// A warning (corrupt data that libjpeg would pad or skip) ends the decode
// like an error: such files go to Qt's reader, as they always did.
extern "C" void RgbInputStopOnWarning(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    auto *error = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

bool IsIccMarker(const jpeg_marker_struct &marker)
{
    return marker.marker == JPEG_APP0 + 2 && marker.data_length >= 14 &&
           std::memcmp(marker.data, "ICC_PROFILE\0", 12) == 0;
}

} // namespace

Result<QImage> DecodeRgbJpeg(const QByteArray &bytes, int scaleDenominator)
{
    // Everything that must be destroyed exists before the jump target.
    jpeg_decompress_struct cinfo = {};
    JpegError error = {};
    QImage out;
    QByteArray profile;
    cinfo.err = error.install();
    error.manager.emit_message = RgbInputStopOnWarning;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{u"cannot decode photo: "_s + error.text()};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    const bool colour = cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB;
    if (!colour || cinfo.num_components != 3 || cinfo.data_precision != 8) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{u"not an 8-bit colour JPEG"_s};
    }
    // The profile as a whole; a file whose pieces do not fit together goes
    // to Qt's reader, which has its own way of joining them.
    bool hasIccMarkers = false;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
        hasIccMarkers = hasIccMarkers || IsIccMarker(*m);
    if (hasIccMarkers) {
        JOCTET *icc = nullptr;
        unsigned int iccSize = 0;
        if (!jpeg_read_icc_profile(&cinfo, &icc, &iccSize)) {
            jpeg_destroy_decompress(&cinfo);
            return Failure{u"the colour profile is split unusually"_s};
        }
        profile = QByteArray(reinterpret_cast<const char *>(icc), qsizetype(iccSize));
        std::free(icc);
    }

    // 0xffRRGGBB words: opaque pixels, already premultiplied.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo.out_color_space = JCS_EXT_BGRA;
#else
    cinfo.out_color_space = JCS_EXT_ARGB;
#endif
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(
        scaleDenominator == 2 || scaleDenominator == 4 || scaleDenominator == 8 ? scaleDenominator
                                                                                : 1);
    jpeg_calc_output_dimensions(&cinfo);
    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    out = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return Failure{
            u"cannot decode photo: not enough memory for %1 x %2 pixels"_s.arg(width).arg(height)};
    }
    // The rows are written once, top to bottom, into untouched memory.
    AdviseHugePages(out.bits(), out.sizeInBytes());
    jpeg_start_decompress(&cinfo);
    // libjpeg is asked for as many rows as it makes in one step.
    JSAMPROW rows[16];
    const int step = std::clamp(int(cinfo.rec_outbuf_height), 1, 16);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int first = int(cinfo.output_scanline);
        const int count = std::min(step, height - first);
        for (int i = 0; i < count; ++i)
            rows[i] = out.scanLine(first + i);
        jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (!profile.isEmpty())
        out.setColorSpace(QColorSpace::fromIccProfile(profile));
    return out;
}

} // namespace kw::detail
