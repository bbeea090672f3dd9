#include "editor/mark_drag.h"

#include "editor/editor_page_support.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kw {

namespace {

struct OffsetFields
{
    int32_t CWatermarkConf::*h;
    int32_t CWatermarkConf::*v;
};

OffsetFields FieldsOf(MarkPart part)
{
    if (part == MarkPart::Image)
        return {&CWatermarkConf::ImageOffsetH, &CWatermarkConf::ImageOffsetV};
    return {&CWatermarkConf::OffsetH, &CWatermarkConf::OffsetV};
}

// Within the range the offset boxes offer.
int32_t Moved(int32_t CWatermarkConf::*field, int32_t start, double delta)
{
    auto [low, high] = EditorRange(field);
    if (low == 0 && high == 0) {
        low = std::numeric_limits<int32_t>::min();
        high = std::numeric_limits<int32_t>::max();
    }
    const double moved = std::round(double(start) + delta);
    return int32_t(std::clamp(moved, double(low), double(high)));
}

} // namespace

QPoint PartOffsets(const CWatermarkConf &layer, MarkPart part)
{
    const OffsetFields fields = FieldsOf(part);
    return {layer.*fields.h, layer.*fields.v};
}

void MoveMark(CWatermarkConf &layer, MarkPart part, QPoint startOffsets, QPointF photoDelta,
              QSize /*photoSize: for offsets kept in per cent of the photo*/)
{
    const OffsetFields fields = FieldsOf(part);
    layer.*fields.h = Moved(fields.h, startOffsets.x(), photoDelta.x());
    layer.*fields.v = Moved(fields.v, startOffsets.y(), photoDelta.y());
}

} // namespace kw
