#pragma once

// libjpeg driven directly, for the tests of the JPEG coefficient path: files
// with a chosen sampling, coding and restart interval, their coefficients and
// their decoded samples, so that what the path changed can be told from what
// it copied.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace kw::test {

struct JpegSpec
{
    bool subsampled = true; // 4:2:0, else 4:4:4
    bool progressive = false;
    int restartInterval = 0; // in MCUs
    bool arithmetic = false;
    bool grey = false;
    // No JFIF header; an Adobe marker and component IDs 'R', 'G', 'B', so only
    // the marker tells a reader that the components are YCbCr.
    bool adobe = false;
};

namespace detail {
struct TestJpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
extern "C" inline void TestJpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<TestJpegError *>(cinfo->err)->jump, 1);
}
} // namespace detail

// `image` (RGB32) encoded at quality 90; empty when libjpeg refuses.
inline QByteArray EncodeTestJpeg(const QImage &image, const JpegSpec &spec)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo = {};
    detail::TestJpegError error = {};
    unsigned char *out = nullptr;
    unsigned long size = 0;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = detail::TestJpegErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (spec.grey)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    else if (!spec.subsampled)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    if (spec.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = JDIMENSION(spec.restartInterval);
    cinfo.arith_code = spec.arithmetic ? TRUE : FALSE;
    if (spec.adobe) {
        cinfo.write_JFIF_header = FALSE;
        cinfo.write_Adobe_marker = TRUE;
        for (int c = 0; c < 3; ++c)
            cinfo.comp_info[c].component_id = "RGB"[c];
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

// A JPEG file's frame and coefficients, as jpeg_read_coefficients gives them.
struct JpegCoefficients
{
    bool ok = false;
    QSize size;
    bool progressive = false;
    int restartInterval = 0;
    int maxH = 1, maxV = 1;
    struct Component
    {
        int h = 1, v = 1;
        int blocksWide = 0, blocksHigh = 0;
        std::array<uint16_t, 64> quant{};
        std::vector<JCOEF> blocks; // 64 a block, row by row of blocks
        const JCOEF *block(int bx, int by) const
        {
            return blocks.data() + (size_t(by) * size_t(blocksWide) + size_t(bx)) * 64;
        }
    };
    std::vector<Component> components;
};

inline JpegCoefficients ReadTestCoefficients(const QByteArray &file)
{
    JpegCoefficients result;
    jpeg_decompress_struct cinfo = {};
    detail::TestJpegError error = {};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = detail::TestJpegErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return JpegCoefficients();
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr *arrays = jpeg_read_coefficients(&cinfo);
    result.size = QSize(int(cinfo.image_width), int(cinfo.image_height));
    result.progressive = cinfo.progressive_mode;
    result.restartInterval = int(cinfo.restart_interval);
    result.maxH = cinfo.max_h_samp_factor;
    result.maxV = cinfo.max_v_samp_factor;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &info = cinfo.comp_info[c];
        JpegCoefficients::Component comp;
        comp.h = info.h_samp_factor;
        comp.v = info.v_samp_factor;
        comp.blocksWide = int(info.width_in_blocks);
        comp.blocksHigh = int(info.height_in_blocks);
        std::copy(info.quant_table->quantval, info.quant_table->quantval + 64, comp.quant.begin());
        comp.blocks.resize(size_t(comp.blocksWide) * size_t(comp.blocksHigh) * 64);
        for (int by = 0; by < comp.blocksHigh; ++by) {
            JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], JDIMENSION(by), 1, FALSE);
            for (int bx = 0; bx < comp.blocksWide; ++bx)
                std::copy(row[0][bx], row[0][bx] + 64,
                          comp.blocks.begin() + (ptrdiff_t(by) * comp.blocksWide + bx) * 64);
        }
        result.components.push_back(std::move(comp));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    result.ok = true;
    return result;
}

// The file decoded as stored (no orientation applied), by libjpeg's accurate
// integer transform with its usual (fancy) chroma upsampling: to RGB, or to
// its own Y, Cb, Cr samples (in red, green, blue) when `ycc` is set.
inline QImage DecodeTestJpeg(const QByteArray &file, bool ycc = false)
{
    jpeg_decompress_struct cinfo = {};
    detail::TestJpegError error = {};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = detail::TestJpegErrorExit;
    QImage image;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return QImage();
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = ycc ? JCS_YCbCr : JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

} // namespace kw::test
