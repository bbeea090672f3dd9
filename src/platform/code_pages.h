#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Encoding names and 8-bit code-page conversion. Code pages are the Windows
// numbers (1252, 932, 65001 ...) because stored documents name encodings the
// way Windows programs do; the conversions themselves are iconv's.
namespace kw {

// The code page used when a document names no encoding, or one we do not know.
inline constexpr int kSystemAnsiCodePage = 1252;
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageUtf16LE = 1200;
inline constexpr int kCodePageUtf16BE = 1201;
inline constexpr int kCodePageUtf32LE = 12000;
inline constexpr int kCodePageUtf32BE = 12001;

// Code page of an encoding name from the table of 365 names (A-Z folded to
// lower case; names longer than 99 characters are not found). 0 when unknown.
int CodePageFromEncodingName(QStringView name);

// False for the code pages whose converters cannot report a replaced
// character (UTF-7, UTF-8, the ISO-2022 family, HZ, GB18030, ISCII).
bool CodePageChecksLoss(int codePage);

// Converts bytes in the code page to UTF-16. A code page that iconv does not
// provide converts as the system ANSI code page; bytes that do not decode
// become '?'. Never fails.
QString DecodeFromCodePage(QByteArrayView bytes, int codePage);

// Converts UTF-16 text to the code page. Characters the code page cannot hold
// become '?'; their number is added to *lossCount when the code page allows
// the check (see CodePageChecksLoss) and lossCount is not null.
QByteArray EncodeToCodePage(QStringView text, int codePage, int *lossCount = nullptr);

} // namespace kw
