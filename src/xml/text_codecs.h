#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string>

// The XML document's own UTF-8 decoder, used to find the declared encoding
// and to recognise UTF-8 files that carry no declaration. It works through
// UTF-32 and turns every sequence it cannot decode into '?'. It is lenient on
// purpose: overlong forms, surrogate values and values above 0x10FFFF decode
// without error (the file's text itself is converted by the code-page module,
// which is strict). All functions are pure.
namespace kw {

// UTF-8 to code points, replacing the contents of *codePoints (which may be
// null when only the error count is wanted); returns the number of '?' written
// for errors. Lead bytes 110xxxxx, 1110xxxx and 11110xxx take one,
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

// Code points to UTF-16 (surrogate pairs from 0x10000 up). Values above
// 0x10FFFF become '?'; surrogate values are written like any other code point
// below 0x10000.
QString EncodeUtf16(std::u32string_view codePoints);

} // namespace kw
