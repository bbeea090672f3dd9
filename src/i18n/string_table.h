#pragma once

#include "model/watermark_conf.h"

#include <QString>
#include <QStringView>

#include <span>

// The program's built-in interface texts, looked up by their resource
// numbers. The language file (language_file.h) can replace some of them.
namespace kw {

inline constexpr int kStrAboutMenuItem = 101; // system menu entry for the About dialog

// Button-bar tooltips.
inline constexpr int kStrTipAddPhotos = 103;
inline constexpr int kStrTipRemoveItem = 104;
inline constexpr int kStrTipPreview = 105;
inline constexpr int kStrTipProcess = 106;
inline constexpr int kStrTipAbort = 107;
inline constexpr int kStrTipAddTemplate = 108;
inline constexpr int kStrTipLayers = 109;

// The nine location names, in the order of the location codes 0 to 8.
inline constexpr int kStrLocationFirst = 114; // "Top Left"
inline constexpr int kStrLocationLast = 122;  // "Bottom Right"

// Quick Start texts: a title line, an empty line and an indented sentence.
inline constexpr int kStrQuickStartTemplates = 124;
inline constexpr int kStrQuickStartAddPhotos = 125;
inline constexpr int kStrQuickStartProcess = 126;

struct ResourceStringEntry
{
    int id;
    QStringView text;
};

// Every built-in text, in ascending id order.
std::span<const ResourceStringEntry> ResourceStrings();

// The built-in text of `id`; empty when there is none.
QString ResourceString(int id);

// The name of a location code, the one table of them ("Top Left" ...
// "Bottom Right"); empty for a code out of range.
QString LocationName(LocationCode code);

} // namespace kw
