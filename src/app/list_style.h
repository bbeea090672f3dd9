#pragma once

#include <QBrush>

class QTreeView;

// The common look of the window's two report lists: rows 20 pixels high,
// a flat header, a soft selection in the accent colour, no focus rectangle.
namespace kw {

inline constexpr int kListRowHeight = 20;

void StyleReportList(QTreeView *view);

// The text colour of a source row's status (CSourceList::Status as int).
QBrush StatusBrush(int status);

} // namespace kw
