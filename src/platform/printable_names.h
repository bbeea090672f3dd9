#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as a person can read them on one line: a name may hold any
// byte but '/' and NUL, including line breaks, terminal escapes and bytes
// that are not UTF-8, which Qt cannot turn into a path that opens the file.
namespace kw {

// Whether `bytes` are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(QByteArrayView bytes);

// `text` with every control character (C0, DEL, C1) written as an escape:
// "\n", "\t", "\r" or "\xHH"; everything else as it is.
QString EscapeControlCharacters(QStringView text);

// A name's bytes as text: valid UTF-8 sequences decoded, every other byte
// written as "\xHH", control characters escaped as above.
QString EscapedFileName(QByteArrayView bytes);

} // namespace kw
