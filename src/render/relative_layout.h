#pragma once

#include "model/watermark_conf.h"

#include <QSize>

// Switching a layer part between pixel values and values relative to the
// photo, so that the mark looks the same on `canvas` (the editor's sample
// photo) before and after. Pure functions; any thread.
namespace kw {

// `pixels` as hundredths of a per cent of `whole`, rounded and kept within
// [minimum, maximum]; `minimum` when `whole` is not positive.
int32_t HundredthsOfPercent(double pixels, double whole, int32_t minimum, int32_t maximum);

// Turns the text part relative: its em size becomes RelativeSize (of the
// canvas's shorter side, at least 0.01 %), its offsets RelativeOffsetH and
// RelativeOffsetV (of the canvas's width and height). The pixel fields keep
// their values.
void MakeTextRelative(CWatermarkConf &layer, QSize canvas);
// Turns it back into pixels: the font height and the offsets become what
// the relative values give on `canvas`; the relative fields become 0.
void MakeTextPixels(CWatermarkConf &layer, QSize canvas);

// As above for the picture part, whose picture has `natural` size: the
// drawn width (and a drawn height that does not follow the proportions)
// become ImageRelativeWidth (and ImageRelativeHeight). A picture of unknown
// size starts at 20 % of the shorter side.
void MakePictureRelative(CWatermarkConf &layer, QSize natural, QSize canvas);
void MakePicturePixels(CWatermarkConf &layer, QSize natural, QSize canvas);

} // namespace kw
