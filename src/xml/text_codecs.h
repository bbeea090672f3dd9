#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string>

// The XML document's own Unicode codecs. They work through UTF-32 and turn
// every sequence they cannot decode into '?', so a damaged file still loads.
// The decoders replace the contents of *codePoints (which may be null when
// only the error count is wanted) and return the number of '?' they wrote for
// errors. They are lenient on purpose: overlong forms and surrogate values in
// UTF-8, and values above 0x10FFFF in UTF-8 and UTF-32, decode without error;
// the encoders turn values above 0x10FFFF into '?'. All functions are pure.
namespace kw {

// UTF-8 to code points. Lead bytes 110xxxxx, 1110xxxx and 11110xxx take one,
// two and three continuation bytes; a lead 10xxxxxx counts as a two-byte lead.
// Any byte from 0x80 up is taken as a continuation byte. Errors, each giving
// one '?': a lead 11111xxx (that byte alone); a sequence cut off by the end of
// the bytes; a byte below 0x80 where a continuation is expected - the partial
// sequence gives the '?' and that byte is then read as a character of its own,
// so no ASCII character is ever swallowed.
int DecodeUtf8(QByteArrayView bytes, std::u32string *codePoints);

// True when DecodeUtf8 decodes the bytes without error (the lenient test used
// to recognise UTF-8 files that carry no declaration). Empty bytes pass.
bool IsLenientUtf8(QByteArrayView bytes);

// UTF-16 to code points: a high surrogate (D800-DBFF) followed by a low one
// (DC00-DFFF) gives one code point from 0x10000 up. Any other unit from D800
// to DFFF - a high surrogate at the end of the text or before a unit that is
// not a low surrogate, or a low surrogate on its own - is an error ('?'), and
// the unit after it is read on its own.
int DecodeUtf16(QStringView text, std::u32string *codePoints);

// Code points to UTF-16 (surrogate pairs from 0x10000 up) and to UTF-8 (four
// bytes from 0x10000 up). Values above 0x10FFFF become '?'; surrogate values
// are written like any other code point below 0x10000.
QString EncodeUtf16(std::u32string_view codePoints);
QByteArray EncodeUtf8(std::u32string_view codePoints);

// UTF-32 files in either byte order; a trailing partial unit (one to three
// bytes) is one error ('?'). EncodeUtf32 writes values above 0x10FFFF as '?'.
int DecodeUtf32(QByteArrayView bytes, bool bigEndian, std::u32string *codePoints);
QByteArray EncodeUtf32(std::u32string_view codePoints, bool bigEndian);

} // namespace kw
