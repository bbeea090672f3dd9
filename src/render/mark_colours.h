#pragma once

#include "model/watermark_conf.h"

#include <QColorSpace>

#include <vector>

// The mark's colours are chosen in sRGB (the editor's colour picker and the
// sample photo are sRGB). A photo whose pixels are in another RGB profile
// (Adobe RGB, Display P3) would show them more saturated than chosen; they
// are turned into the photo's profile before drawing, so a red mark is the
// same red on every photo. Any thread.
namespace kw {

// Whether colours drawn on a picture in `space` need turning: a valid
// colour space that is not sRGB and has a profile.
bool NeedsMarkColourConversion(const QColorSpace &space);

// Turns every colour field of `layers` from sRGB into `space`'s profile.
// Leaves them as they are when no turning is needed or the profile cannot
// convert (the mark is then drawn as chosen).
void ConvertMarkColours(std::vector<CWatermarkConf> &layers, const QColorSpace &space);

} // namespace kw
