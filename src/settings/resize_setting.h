#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringView>

#include <cstdint>

// resizing_config.ini: how photos are resized before they are watermarked.
// Section [General], keys ScaleType, TargetWidth, TargetHeight and
// ResizeEveryTime, each a decimal number. Functions take the application data
// folder, share no state and may run on any thread.
namespace kw {

struct CResizeSetting
{
    // 1: proportionally to targetWidth; 2: proportionally to targetHeight;
    // 3: to targetWidth x targetHeight exactly; any other value: no resizing.
    int32_t scaleType = 0;
    int32_t targetWidth = 800; // pixels
    int32_t targetHeight = 600;
    int32_t resizeEveryTime = 0; // non-zero: resize at every run
    // Resize during this run of the program only; never stored in a file.
    bool resizeJustThisTime = false;

    bool resizeRequested() const { return resizeJustThisTime || resizeEveryTime != 0; }
};

// Defaults for keys that are missing (and for a missing file).
inline constexpr int32_t kDefaultScaleType = 1;
inline constexpr int32_t kDefaultTargetWidth = 800;
inline constexpr int32_t kDefaultTargetHeight = 600;
inline constexpr int32_t kDefaultResizeEveryTime = 0;

// Reads the four keys into `setting`; resizeJustThisTime is left alone. A
// missing key gives its default, an empty value 0, other values convert by
// ParseDecimalInt. A file that exists but cannot be read gives the defaults
// and a failure with the reason.
Status LoadResizeSetting(const QString &dataFolder, CResizeSetting &setting);

// What the resizing dialog stores when it closes: the scale type of its
// checked radio button (1 when none is), the two size fields exactly as typed
// (digits only, possibly empty; an empty field reads back as 0) and its
// "every time" check box.
struct ResizeSettingInput
{
    int32_t scaleType = kDefaultScaleType;
    QString targetWidth;
    QString targetHeight;
    bool resizeEveryTime = false;
};

// Writes the four keys in one atomic save, each in place where the file
// already has it; every other line of the file is kept. A scale type other
// than 1, 2 or 3, or a size that is not digits only, is refused with a
// reason and nothing is written; so is a file that exists but cannot be read.
Status SaveResizeSetting(const QString &dataFolder, const ResizeSettingInput &input);

} // namespace kw
