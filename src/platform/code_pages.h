#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <span>
#include <string_view>

// Encoding names and 8-bit code-page conversion. Code pages are the Windows
// numbers (1252, 932, 65001 ...) because stored documents name encodings the
// way Windows programs do; the conversions themselves are iconv's.
//
// Every function is reentrant and thread-safe: nothing here keeps state
// between calls (each conversion opens and closes its own iconv descriptor).
namespace kw {

// The code page used when a document names no encoding, or one we do not know.
inline constexpr int kSystemAnsiCodePage = 1252;
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageUtf16LE = 1200;
inline constexpr int kCodePageUtf16BE = 1201;
inline constexpr int kCodePageUtf32LE = 12000;
inline constexpr int kCodePageUtf32BE = 12001;

// Code page of an encoding name from the table of 365 names (A-Z folded to
// lower case, nothing else folded; names longer than 99 characters are not
// found). 0 when unknown, including the empty name.
int CodePageFromEncodingName(QStringView name);

// One entry of the encoding-name table: a lower-case name and its code page.
// The table holds 365 names for 110 code pages. Some entries look odd and are
// kept as they are on purpose, since names are matched exactly: "cp1256 " with
// a trailing blank, "shifft_jis", and the EBCDIC names "cp500" and
// "ebcdic-cp-be" filed under 775.
struct EncodingName
{
    std::string_view name;
    int codePage;
};

// The whole table, sorted by name; exposed for tests and diagnostics.
std::span<const EncodingName> EncodingNameTable();

// The iconv converter used for the code page, or nullptr when iconv has none
// for it (for example the ISCII pages, HZ, a few Mac and Taiwanese pages);
// such code pages, and numbers outside the table, convert as the system ANSI
// code page.
const char *IconvNameOfCodePage(int codePage);

// False for the code pages whose converters cannot report a replaced
// character (UTF-7, UTF-8, the ISO-2022 family, HZ, GB18030, ISCII).
bool CodePageChecksLoss(int codePage);

// The code page's name for messages: "UTF-8", "Windows-1252", "ISO-8859-1",
// or "code page N" when iconv has no converter for it.
QString CodePageDisplayName(int codePage);

// Converts bytes in the code page to UTF-16. A code page that iconv does not
// provide converts as the system ANSI code page; each byte that does not
// decode (including an incomplete sequence at the end) becomes one '?', and
// decoding resumes at the byte after it; their number is added to
// *undecodableCount when it is not null. Never fails.
//
// In the ANSI code page (Windows-1252) every byte decodes: the five bytes it
// leaves undefined (81, 8D, 8F, 90, 9D) become the C1 control characters of
// the same numbers, and EncodeToCodePage writes those back as the same bytes,
// as Windows converts them, so any file read in the ANSI code page can be
// written back byte for byte.
QString DecodeFromCodePage(QByteArrayView bytes, int codePage, int *undecodableCount = nullptr);

// Converts UTF-16 text to the code page. Characters the code page cannot hold,
// and unpaired surrogates, become '?' (written in the code page's own form);
// their number is added to *lossCount when the code page allows the check
// (see CodePageChecksLoss) and lossCount is not null.
QByteArray EncodeToCodePage(QStringView text, int codePage, int *lossCount = nullptr);

} // namespace kw
