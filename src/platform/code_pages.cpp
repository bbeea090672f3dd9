#include "platform/code_pages.h"

#include <QSysInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <iconv.h>

namespace kw {
namespace {

// The encoding names, grouped by code page. Every name is lower case.
// clang-format off
constexpr std::array kEncodingNamesByCodePage = std::to_array<EncodingName>({
    {"cp154", 154}, {"csptcp154", 154}, {"cyrillic-asian", 154}, {"pt154", 154}, {"ptcp154", 154},
    {"codepage437", 437}, {"cp437", 437}, {"cspc8", 437}, {"cspc8codepage437", 437},
    {"ibm437", 437},
    {"asmo-708", 708},
    {"dos-720", 720},
    {"cp737", 737}, {"ibm737", 737},
    {"cp500", 775}, {"cp775", 775}, {"csibm500", 775}, {"cspc775baltic", 775},
    {"ebcdic-cp-be", 775}, {"ebcdic-cp-ch", 775}, {"ibm775", 775},
    {"cp850", 850}, {"cspc850multilingual", 850}, {"ibm850", 850},
    {"cp852", 852}, {"cspcp852", 852}, {"ibm852", 852},
    {"cp853", 853},
    {"cp855", 855}, {"csibm855", 855}, {"ibm855", 855},
    {"cp857", 857}, {"csibm857", 857}, {"ibm857", 857},
    {"ccsid00858", 858}, {"cp00858", 858}, {"cp858", 858}, {"ibm00858", 858},
    {"pc-multilingual-850+euro", 858},
    {"cp860", 860}, {"csibm860", 860}, {"ibm860", 860},
    {"cp-is", 861}, {"cp861", 861}, {"csibm861", 861}, {"ibm861", 861},
    {"cp862", 862}, {"cspc862latinhebrew", 862}, {"dos-862", 862}, {"ibm862", 862},
    {"cp863", 863}, {"csibm863", 863}, {"ibm863", 863},
    {"cp864", 864}, {"csibm864", 864}, {"ibm864", 864},
    {"cp865", 865}, {"csibm865", 865}, {"ibm865", 865},
    {"cp866", 866}, {"csibm866", 866}, {"ibm866", 866},
    {"cp-gr", 869}, {"cp869", 869}, {"csibm869", 869}, {"ibm869", 869},
    {"cp874", 874}, {"dos-874", 874}, {"iso-8859-11", 874}, {"tis-620", 874}, {"windows-874", 874},
    {"cp932", 932}, {"csshiftjis", 932}, {"cswindows31j", 932}, {"ms932", 932}, {"ms_kanji", 932},
    {"shifft_jis", 932}, {"shifft_jis-ms", 932}, {"shift-jis", 932}, {"shift_jis", 932},
    {"sjis", 932}, {"sjis-ms", 932}, {"sjis-open", 932}, {"sjis-win", 932}, {"windows-31j", 932},
    {"windows-932", 932}, {"x-ms-cp932", 932}, {"x-sjis", 932},
    {"chinese", 936}, {"cn-gb", 936}, {"cp936", 936}, {"csgb2312", 936}, {"csgb231280", 936},
    {"csiso58gb231280", 936}, {"gb2312", 936}, {"gb2312-80", 936}, {"gb231280", 936},
    {"gb_2312-80", 936}, {"gbk", 936}, {"iso-ir-58", 936}, {"ms936", 936}, {"windows-936", 936},
    {"cp949", 949}, {"csksc56011987", 949}, {"iso-ir-149", 949}, {"korean", 949},
    {"ks-c-5601", 949}, {"ks-c5601", 949}, {"ks_c_5601", 949}, {"ks_c_5601-1987", 949},
    {"ks_c_5601-1989", 949}, {"ks_c_5601_1987", 949}, {"ksc5601", 949}, {"ksc_5601", 949},
    {"uhc", 949},
    {"big5", 950}, {"big5-hkscs", 950}, {"cn-big5", 950}, {"cp950", 950}, {"csbig5", 950},
    {"x-x-big5", 950},
    {"cp1125", 1125},
    {"cp1133", 1133}, {"ibm-cp1133", 1133},
    {"cp1200", 1200}, {"ucs-2", 1200}, {"ucs-2le", 1200}, {"unicode", 1200}, {"utf-16", 1200},
    {"utf-16le", 1200}, {"utf16", 1200}, {"utf16le", 1200},
    {"cp1201", 1201}, {"ucs-2be", 1201}, {"unicodefffe", 1201}, {"utf-16be", 1201},
    {"utf16be", 1201},
    {"cp1250", 1250}, {"ms-ee", 1250}, {"windows-1250", 1250}, {"x-cp1250", 1250},
    {"cp1251", 1251}, {"ms-cyrl", 1251}, {"windows-1251", 1251}, {"x-cp1251", 1251},
    {"cp1252", 1252}, {"ms-ansi", 1252}, {"windows-1252", 1252}, {"x-ansi", 1252},
    {"cp1253", 1253}, {"ms-greek", 1253}, {"windows-1253", 1253},
    {"cp1254", 1254}, {"ms-turk", 1254}, {"windows-1254", 1254},
    {"cp1255", 1255}, {"ms-hebr", 1255}, {"windows-1255", 1255},
    {"cp1256", 1256}, {"cp1256 ", 1256}, {"ms-arab", 1256}, {"windows-1256", 1256},
    {"cp1257", 1257}, {"winbaltrim", 1257}, {"windows-1257", 1257},
    {"cp1258", 1258}, {"windows-1258", 1258},
    {"cp1361", 1361}, {"johab", 1361},
    {"csmacintosh", 10000}, {"mac", 10000}, {"macintosh", 10000},
    {"x-mac-japanese", 10001},
    {"x-mac-chinesetrad", 10002},
    {"x-mac-korean", 10003},
    {"x-mac-arabic", 10004},
    {"x-mac-hebrew", 10005},
    {"x-mac-greek", 10006},
    {"x-mac-cyrillic", 10007},
    {"x-mac-chinesesimp", 10008},
    {"x-mac-romanian", 10010},
    {"x-mac-ukrainian", 10017},
    {"x-mac-thai", 10021},
    {"x-mac-ce", 10029},
    {"x-mac-icelandic", 10079},
    {"x-mac-turkish", 10081},
    {"x-mac-croatian", 10082},
    {"cp12000", 12000}, {"utf-32", 12000}, {"utf-32le", 12000}, {"utf32", 12000},
    {"utf32le", 12000},
    {"cp12001", 12001}, {"utf-32be", 12001}, {"utf32be", 12001},
    {"x-chinese-cns", 20000}, {"x-chinese_cns", 20000},
    {"x-cp20001", 20001},
    {"x-chinese-eten", 20002}, {"x_chinese-eten", 20002},
    {"x-cp20003", 20003},
    {"x-cp20004", 20004},
    {"x-cp20005", 20005},
    {"x-ia5", 20105},
    {"x-ia5-german", 20106},
    {"x-ia5-swedish", 20107},
    {"x-ia5-norwegian", 20108},
    {"ansi_x3.4-1968", 20127}, {"ansi_x3.4-1986", 20127}, {"ascii", 20127}, {"cp367", 20127},
    {"csascii", 20127}, {"ibm367", 20127}, {"iso-ir-6", 20127}, {"iso-ir-6us", 20127},
    {"iso646-us", 20127}, {"iso_646.irv:1991", 20127}, {"us", 20127}, {"us-ascii", 20127},
    {"x-cp20261", 20261},
    {"x-cp20269", 20269},
    {"cskoi8r", 20866}, {"koi", 20866}, {"koi8", 20866}, {"koi8-r", 20866}, {"koi8r", 20866},
    {"cseucpkdfmtjapanese", 20932}, {"euc-jp", 20932},
    {"extended_unix_code_packed_format_for_japanese", 20932},
    {"x-cp20936", 20936},
    {"x-cp20949", 20949},
    {"koi8-ru", 21866}, {"koi8-u", 21866},
    {"cp819", 28591}, {"csisolatin1", 28591}, {"ibm819", 28591}, {"iso-8859-1", 28591},
    {"iso-ir-100", 28591}, {"iso8859-1", 28591}, {"iso_8859-1", 28591}, {"iso_8859-1:1987", 28591},
    {"l1", 28591}, {"latin1", 28591},
    {"csisolatin2", 28592}, {"iso-8859-2", 28592}, {"iso-ir-101", 28592}, {"iso8859-2", 28592},
    {"iso_8859-2", 28592}, {"iso_8859-2:1987", 28592}, {"l2", 28592}, {"latin2", 28592},
    {"csisolatin3", 28593}, {"iso-8859-3", 28593}, {"iso-ir-109", 28593}, {"iso8859-3", 28593},
    {"iso_8859-3", 28593}, {"iso_8859-3:1988", 28593}, {"l3", 28593}, {"latin3", 28593},
    {"csisolatin4", 28594}, {"iso-8859-4", 28594}, {"iso-ir-110", 28594}, {"iso8859-4", 28594},
    {"iso_8859-4", 28594}, {"iso_8859-4:1988", 28594}, {"l4", 28594}, {"latin4", 28594},
    {"csisolatin5", 28595}, {"csisolatincyrillic", 28595}, {"cyrillic", 28595},
    {"iso-8859-5", 28595}, {"iso-ir-144", 28595}, {"iso8859-5", 28595}, {"iso_8859-5", 28595},
    {"iso_8859-5:1988", 28595},
    {"arabic", 28596}, {"csisolatinarabic", 28596}, {"ecma-114", 28596}, {"iso-8859-6", 28596},
    {"iso-ir-127", 28596}, {"iso8859-6", 28596}, {"iso_8859-6", 28596}, {"iso_8859-6:1987", 28596},
    {"csisolatingreek", 28597}, {"ecma-118", 28597}, {"elot_928", 28597}, {"greek", 28597},
    {"greek8", 28597}, {"iso-8859-7", 28597}, {"iso-ir-126", 28597}, {"iso8859-7", 28597},
    {"iso_8859-7", 28597}, {"iso_8859-7:1987", 28597},
    {"csisolatinhebrew", 28598}, {"hebrew", 28598}, {"iso-8859-8", 28598}, {"iso-ir-138", 28598},
    {"iso8859-8", 28598}, {"iso_8859-8", 28598}, {"iso_8859-8:1988", 28598}, {"visual", 28598},
    {"iso-8859-9", 28599}, {"iso-ir-148", 28599}, {"iso8859-9", 28599}, {"iso_8859-9", 28599},
    {"iso_8859-9:1989", 28599}, {"l5", 28599}, {"latin5", 28599},
    {"iso-8859-13", 28603}, {"iso8859-13", 28603},
    {"iso-8859-15", 28605}, {"iso8859-15", 28605}, {"iso_8859-15", 28605}, {"l9", 28605},
    {"latin-9", 28605}, {"latin9", 28605},
    {"x-europa", 29001},
    {"iso-8859-8-i", 38598}, {"iso8859-8-i", 38598}, {"logical", 38598},
    {"iso-2022-jp", 50220},
    {"_iso-2022-jp", 50221}, {"cp50221", 50221}, {"csiso2022jp", 50221}, {"iso-2022-jp-ms", 50221},
    {"iso2022-jp-ms", 50221}, {"ms50221", 50221}, {"windows-50221", 50221},
    {"_iso-2022-jp$sio", 50222},
    {"csiso2022kr", 50225}, {"iso-2022-kr", 50225}, {"iso2022-kr", 50225},
    {"x-cp50227", 50227},
    {"cp51932", 51932}, {"ms51932", 51932}, {"windows-51932", 51932}, {"x-euc", 51932},
    {"x-euc-jp", 51932},
    {"euc-cn", 51936}, {"x-euc-cn", 51936},
    {"cseuckr", 51949}, {"euc-kr", 51949},
    {"hz-gb-2312", 52936},
    {"gb18030", 54936}, {"iso-4873:1986", 54936},
    {"x-iscii-de", 57002},
    {"x-iscii-be", 57003},
    {"x-iscii-ta", 57004},
    {"x-iscii-te", 57005},
    {"x-iscii-as", 57006},
    {"x-iscii-or", 57007},
    {"x-iscii-ka", 57008},
    {"x-iscii-ma", 57009},
    {"x-iscii-gu", 57010},
    {"x-iscii-pa", 57011},
    {"csunicode11utf7", 65000}, {"unicode-1-1-utf-7", 65000}, {"utf-7", 65000},
    {"x-unicode-2-0-utf-7", 65000},
    {"cp65001", 65001}, {"unicode-1-1-utf-8", 65001}, {"unicode-2-0-utf-8", 65001},
    {"utf-8", 65001}, {"utf8", 65001}, {"x-unicode-2-0-utf-8", 65001},
});
// clang-format on

constexpr auto kEncodingNames = [] {
    auto sorted = kEncodingNamesByCodePage;
    std::ranges::sort(sorted, {}, &EncodingName::name);
    return sorted;
}();

constexpr bool NamesAreUnique()
{
    for (std::size_t i = 1; i < kEncodingNames.size(); ++i) {
        if (kEncodingNames[i - 1].name == kEncodingNames[i].name) {
            return false;
        }
    }
    return true;
}

constexpr std::size_t DistinctCodePages()
{
    // The table is written grouped by code page, so counting changes suffices.
    std::size_t count = 0;
    int previous = 0;
    for (const EncodingName &entry : kEncodingNamesByCodePage) {
        if (entry.codePage != previous) {
            ++count;
            previous = entry.codePage;
        }
    }
    return count;
}

static_assert(kEncodingNames.size() == 365);
static_assert(DistinctCodePages() == 110);
static_assert(NamesAreUnique());

constexpr qsizetype kMaxNameLength = 99;

struct IconvName
{
    int codePage;
    const char *name;
};

// Code page to glibc iconv converter, sorted by code page. Where iconv lacks a
// Mac or ETEN page but has the national standard it is built on, that standard
// stands in for it. Pages missing here convert as the system ANSI code page.
constexpr std::array kIconvNames = std::to_array<IconvName>({
    {154, "PT154"},         {437, "CP437"},         {708, "ASMO-708"},
    {737, "CP737"},         {775, "CP775"},         {850, "CP850"},
    {852, "CP852"},         {855, "CP855"},         {857, "CP857"},
    {858, "CP858"},         {860, "CP860"},         {861, "CP861"},
    {862, "CP862"},         {863, "CP863"},         {864, "CP864"},
    {865, "CP865"},         {866, "CP866"},         {869, "CP869"},
    {874, "CP874"},         {932, "CP932"},         {936, "CP936"},
    {949, "CP949"},         {950, "CP950"},         {1125, "CP1125"},
    {1133, "CP1133"},       {1200, "UTF-16LE"},     {1201, "UTF-16BE"},
    {1250, "CP1250"},       {1251, "CP1251"},       {1252, "CP1252"},
    {1253, "CP1253"},       {1254, "CP1254"},       {1255, "CP1255"},
    {1256, "CP1256"},       {1257, "CP1257"},       {1258, "CP1258"},
    {1361, "JOHAB"},        {10000, "MACINTOSH"},   {10001, "SHIFT_JIS"},
    {10002, "BIG5"},        {10003, "EUC-KR"},      {10007, "MAC-CYRILLIC"},
    {10008, "EUC-CN"},      {10017, "MAC-UK"},      {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},      {12000, "UTF-32LE"},    {12001, "UTF-32BE"},
    {20002, "BIG5"},        {20106, "ISO646-DE"},   {20107, "ISO646-SE"},
    {20108, "ISO646-NO"},   {20127, "ASCII"},       {20261, "T.61-8BIT"},
    {20269, "ISO_6937"},    {20866, "KOI8-R"},      {20932, "EUC-JP"},
    {20936, "GB2312"},      {20949, "EUC-KR"},      {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"},
    {50220, "ISO-2022-JP"}, {50221, "ISO-2022-JP"}, {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"}, {50227, "ISO-2022-CN"}, {51932, "EUC-JP-MS"},
    {51936, "EUC-CN"},      {51949, "EUC-KR"},      {54936, "GB18030"},
    {65000, "UTF-7"},       {65001, "UTF-8"},
});

static_assert(std::ranges::is_sorted(kIconvNames, {}, &IconvName::codePage));

constexpr const char *kAnsiIconvName = "CP1252";
constexpr const char *kHostUtf16 =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";

constexpr std::size_t kIconvError = static_cast<std::size_t>(-1);
const iconv_t kInvalidIconv = reinterpret_cast<iconv_t>(-1);

const char *ConverterName(int codePage)
{
    const char *name = IconvNameOfCodePage(codePage);
    return name ? name : kAnsiIconvName;
}

bool ConvertsAsAnsi(int codePage)
{
    return std::strcmp(ConverterName(codePage), kAnsiIconvName) == 0;
}

// The bytes Windows-1252 leaves undefined; each stands for the C1 control
// character of the same number.
bool IsUndefinedAnsiByte(char16_t value)
{
    return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// Opens the converter between host-order UTF-16 and the code page, falling
// back to the ANSI code page when iconv refuses the code page's converter.
iconv_t OpenConverter(int codePage, bool toCodePage)
{
    const auto open = [toCodePage](const char *page) {
        return toCodePage ? iconv_open(page, kHostUtf16) : iconv_open(kHostUtf16, page);
    };
    iconv_t cd = open(ConverterName(codePage));
    if (cd == kInvalidIconv) {
        cd = open(kAnsiIconvName);
    }
    return cd;
}

// Owns one iconv descriptor; an invalid one when iconv cannot convert.
class IconvHandle
{
public:
    explicit IconvHandle(iconv_t cd) : m_cd(cd) {}
    ~IconvHandle()
    {
        if (valid()) {
            iconv_close(m_cd);
        }
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool valid() const { return m_cd != kInvalidIconv; }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Writes '?' in the target encoding of an open UTF-16 to code page descriptor,
// so that stateful encodings (ISO-2022) switch back to ASCII first.
void AppendReplacement(iconv_t cd, QByteArray *out)
{
    char16_t question = u'?';
    char *in = reinterpret_cast<char *>(&question);
    std::size_t inLeft = sizeof question;
    char buffer[32];
    char *outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == kIconvError || outPtr == buffer) {
        out->append('?');
        return;
    }
    out->append(buffer, outPtr - buffer);
}

QByteArray EncodeToLatin1(QStringView text, int *losses)
{
    // Only reached if iconv cannot even open CP1252.
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() < 0x100) {
            out.append(static_cast<char>(c.unicode()));
        } else {
            out.append('?');
            ++*losses;
        }
    }
    return out;
}

// Runs `cd` over the input until it is used up and the converter's shift
// state is flushed. Each round's output (from `buffer` to the end passed) goes
// to `take`; at input the converter refuses, `skipBad` must move `in` on.
template <typename Take, typename SkipBad>
void RunConverter(iconv_t cd, char *&in, std::size_t &inLeft, char *buffer, std::size_t bufferSize,
                  Take take, SkipBad skipBad)
{
    bool flushed = false;
    while (!flushed) {
        char *outPtr = buffer;
        std::size_t outLeft = bufferSize;
        std::size_t result;
        if (inLeft > 0) {
            result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        } else {
            // Ends any shift state; stateless converters write nothing.
            result = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
            flushed = result != kIconvError || errno != E2BIG;
        }
        const int errorCode = errno;
        take(outPtr);
        if (result != kIconvError || flushed || errorCode == E2BIG || inLeft == 0)
            continue;
        skipBad();
    }
}

} // namespace

int CodePageFromEncodingName(QStringView name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength) {
        return 0;
    }
    char folded[kMaxNameLength];
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            return 0; // every stored name is ASCII
        }
        folded[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
    }
    const std::string_view key(folded, static_cast<std::size_t>(name.size()));
    const auto it = std::ranges::lower_bound(kEncodingNames, key, {}, &EncodingName::name);
    if (it == kEncodingNames.end() || it->name != key) {
        return 0;
    }
    return it->codePage;
}

std::span<const EncodingName> EncodingNameTable()
{
    return kEncodingNames;
}

const char *IconvNameOfCodePage(int codePage)
{
    const auto it = std::ranges::lower_bound(kIconvNames, codePage, {}, &IconvName::codePage);
    if (it == kIconvNames.end() || it->codePage != codePage) {
        return nullptr;
    }
    return it->name;
}

bool CodePageChecksLoss(int codePage)
{
    switch (codePage) {
    case 65000:
    case 65001:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 52936:
    case 54936:
        return false;
    default:
        return codePage < 57002 || codePage > 57011;
    }
}

QString CodePageDisplayName(int codePage)
{
    if (codePage == kCodePageUtf8)
        return QStringLiteral("UTF-8");
    if (codePage >= 1250 && codePage <= 1258)
        return QStringLiteral("Windows-") + QString::number(codePage);
    if (const char *name = IconvNameOfCodePage(codePage))
        return QString::fromLatin1(name);
    return QStringLiteral("code page ") + QString::number(codePage);
}

QString DecodeFromCodePage(QByteArrayView bytes, int codePage, int *undecodableCount)
{
    if (bytes.isEmpty()) {
        return {};
    }
    const IconvHandle handle(OpenConverter(codePage, false));
    if (!handle.valid()) {
        return QString::fromLatin1(bytes);
    }
    iconv_t cd = handle.get();
    const bool ansi = ConvertsAsAnsi(codePage);

    QString out;
    out.reserve(bytes.size());
    // iconv never writes through its input pointer; the cast is its old API.
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    char16_t buffer[2048];
    RunConverter(
        cd, in, inLeft, reinterpret_cast<char *>(buffer), sizeof buffer,
        [&](const char *end) {
            out.append(QStringView(buffer, (end - reinterpret_cast<char *>(buffer)) / 2));
        },
        [&] {
            // EILSEQ or EINVAL (an incomplete sequence at the end): one '?'
            // for the byte, then go on with the next one.
            const auto byte = static_cast<unsigned char>(*in);
            if (ansi && IsUndefinedAnsiByte(byte)) {
                out.append(QChar(char16_t(byte)));
            } else {
                out.append(u'?');
                if (undecodableCount)
                    ++*undecodableCount;
            }
            ++in;
            --inLeft;
        });
    return out;
}

QByteArray EncodeToCodePage(QStringView text, int codePage, int *lossCount)
{
    int losses = 0;
    QByteArray out;
    if (!text.isEmpty()) {
        const IconvHandle handle(OpenConverter(codePage, true));
        if (!handle.valid()) {
            out = EncodeToLatin1(text, &losses);
        } else {
            iconv_t cd = handle.get();
            const bool ansi = ConvertsAsAnsi(codePage);
            out.reserve(text.size());
            const char *begin = reinterpret_cast<const char *>(text.utf16());
            char *in = const_cast<char *>(begin);
            std::size_t inLeft = static_cast<std::size_t>(text.size()) * 2;
            char buffer[4096];
            RunConverter(
                cd, in, inLeft, buffer, sizeof buffer,
                [&](const char *end) { out.append(buffer, end - buffer); },
                [&] {
                    // The character at the stop cannot be written (EILSEQ) or
                    // is a high surrogate cut off by the end (EINVAL): skip
                    // it whole, both units of a valid pair.
                    const qsizetype at = (in - begin) / 2;
                    if (ansi && IsUndefinedAnsiByte(text[at].unicode())) {
                        out.append(static_cast<char>(text[at].unicode()));
                        in += 2;
                        inLeft -= 2;
                        return;
                    }
                    std::size_t skip = 2;
                    if (at + 1 < text.size() && IsHighSurrogate(text[at].unicode()) &&
                        IsLowSurrogate(text[at + 1].unicode()))
                        skip = 4;
                    skip = std::min(skip, inLeft);
                    in += skip;
                    inLeft -= skip;
                    ++losses;
                    AppendReplacement(cd, &out);
                });
        }
    }
    if (lossCount && CodePageChecksLoss(codePage)) {
        *lossCount += losses;
    }
    return out;
}

} // namespace kw
