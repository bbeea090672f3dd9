#pragma once

#include "model/watermark_conf.h"

#include <QString>
#include <QStringView>

#include <cstdint>

// How the values of a layer file are turned into element text and back. All
// functions are pure and thread-safe. Only ASCII white space (blank, tab, line
// feed, vertical tab, form feed, carriage return), signs and digits have a
// meaning; every other character ends a number.
namespace kw {

// Optional leading white space, an optional sign, decimal digits; the number
// ends at the first other character. No digits gives 0 (" 7" is 7, "7x" is 7,
// "x" and "" are 0). A value outside the 32-bit range gives the nearest limit.
int32_t ParseLayerInteger(QStringView text);

// As ParseLayerInteger, read as an unsigned number whose 32 bits are stored:
// "-1" gives 0xFFFFFFFF, which the writer's signed decimal gives back. A
// magnitude beyond 32 bits gives 0xFFFFFFFF.
ColorRef ParseLayerColor(QStringView text);

// Signed decimal as written in the files; a colour is written as the signed
// value of its 32 bits.
QString FormatLayerInteger(int32_t value);
QString FormatLayerColor(ColorRef color);

// The 92 font bytes as unsigned decimals joined by single commas, no blanks,
// no trailing comma (203 characters for the new-layer font).
QString FormatFontList(const LogFont &font);

// Reads a comma-separated list of numbers into the font record from its first
// byte on and returns how many bytes were stored; later bytes keep their
// values. Each item: white space, an optional sign, then digits in the base
// the number gives itself ("0x"/"0X" hexadecimal, another leading 0 octal,
// else decimal); its lowest 8 bits are stored (256 stores 0, -1 stores 255).
// A number beyond the 32-bit signed range counts as the nearest limit. An item
// without digits stores 0 and ends the list; so does anything other than a
// comma after an item (white space aside), and the end of the text. At most 92
// items are read. "0x20, 010 ,300" stores 32, 8, 44; "1,,2" stores 1, 0.
int DecodeFontList(QStringView text, LogFont &font);

} // namespace kw
