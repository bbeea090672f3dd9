#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string>

// The XML document's own Unicode codecs. They work through UTF-32 and turn
// every sequence they cannot decode into '?', so a damaged file still loads.
namespace kw {

// UTF-8 to code points. Lead bytes 110xxxxx, 1110xxxx and 11110xxx take one,
// two and three continuation bytes; a lead 10xxxxxx counts as a two-byte lead;
// 11111xxx, a missing continuation or a byte below 0x80 where a continuation
// is expected is an error. Each undecodable sequence gives one '?'. Returns
// the number of errors.
int DecodeUtf8(QByteArrayView bytes, std::u32string *codePoints);

// True when DecodeUtf8 decodes the bytes without error (the lenient test used
// to recognise UTF-8 files that carry no declaration).
bool IsLenientUtf8(QByteArrayView bytes);

// UTF-16 to code points: a unit from D800 to DFFF is combined with the unit
// after it; such a unit at the end of the text is an error ('?').
int DecodeUtf16(QStringView text, std::u32string *codePoints);

// Code points to UTF-16 (surrogate pairs from 0x10000 up) and to UTF-8 (four
// bytes from 0x10000 up). Values above 0x10FFFF become '?'.
QString EncodeUtf16(std::u32string_view codePoints);
QByteArray EncodeUtf8(std::u32string_view codePoints);

// UTF-32 files in either byte order; a trailing partial unit is an error ('?').
int DecodeUtf32(QByteArrayView bytes, bool bigEndian, std::u32string *codePoints);
QByteArray EncodeUtf32(std::u32string_view codePoints, bool bigEndian);

} // namespace kw
