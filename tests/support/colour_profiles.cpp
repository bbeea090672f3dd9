#include "support/colour_profiles.h"

#include <cmath>

namespace kw::test {

namespace {

// The RGB a CMYK ink gives in the test profile: not the plain formula Qt
// uses (r = (1 - c)(1 - k) ...), so that a conversion that ignores the
// profile shows.
void TestProfileRgb(const double ink[4], double rgb[3])
{
    const double k = 1 - ink[3];
    rgb[0] = (1 - ink[0]) * k;
    rgb[1] = (1 - 0.6 * ink[1]) * std::sqrt(k) * 0.9;
    rgb[2] = 0.1 + 0.7 * (1 - ink[2]) * k;
}

int CmykSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void *toLab)
{
    double ink[4], rgb[3];
    for (int i = 0; i < 4; ++i)
        ink[i] = in[i] / 65535.0;
    TestProfileRgb(ink, rgb);
    const cmsUInt8Number rgb8[3] = {cmsUInt8Number(std::lround(rgb[0] * 255)),
                                    cmsUInt8Number(std::lround(rgb[1] * 255)),
                                    cmsUInt8Number(std::lround(rgb[2] * 255))};
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(toLab), rgb8, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

} // namespace

QByteArray Saved(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A CMYK input profile (CMYK to Lab through a grid), made with lcms2.
QByteArray MakeCmykProfile(int gridPoints)
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage *grid = cmsStageAllocCLut16bit(nullptr, cmsUInt32Number(gridPoints), 4, 3, nullptr);
    cmsStageSampleCLut16bit(grid, CmykSampler, toLab, 0);
    // The layout a v4 CMYK-to-Lab table takes: curves, grid, curves.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, grid);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsHPROFILE cmyk = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(cmyk, 4.3);
    cmsSetDeviceClass(cmyk, cmsSigOutputClass);
    cmsSetColorSpace(cmyk, cmsSigCmykData);
    cmsSetPCS(cmyk, cmsSigLabData);
    cmsWriteTag(cmyk, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(cmyk, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return Saved(cmyk);
}

// Grey with a linear tone curve: grey 100 is far lighter than sRGB's 100.

} // namespace kw::test
