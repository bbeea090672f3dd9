#pragma once

#include "model/watermark_conf.h"

#include <QPoint>
#include <QPointF>
#include <QSize>

namespace kw {

// The part of a layer the mark being placed by hand belongs to.
enum class MarkPart { Text, Image };

// A part's offsets as the layer stores them.
QPoint PartOffsets(const CWatermarkConf &layer, MarkPart part);

// Sets the offsets of `part` to those it had when the drag began
// (`startOffsets`) moved by `photoDelta`, a movement in the photo's pixels on
// a photo of `photoSize`. The one place where a movement on the photo becomes
// stored offsets.
void MoveMark(CWatermarkConf &layer, MarkPart part, QPoint startOffsets, QPointF photoDelta,
              QSize photoSize);

} // namespace kw
