#include "model/layer_values.h"

#include <algorithm>
#include <limits>

namespace kw {

namespace {

bool IsSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// Value of `c` as a digit, or 36 when it is none.
int DigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'z')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'Z')
        return u - u'A' + 10;
    return 36;
}

// A number as the C library's strtol/strtoul read it, with its magnitude
// saturated at 2^32 so no input can overflow.
struct ScannedNumber
{
    bool negative = false;
    bool hasDigits = false;
    uint64_t magnitude = 0; // at most 2^32
    qsizetype end = 0;      // index after the last character read
};

constexpr uint64_t kMagnitudeCap = uint64_t(1) << 32;

// Reads from `pos` on: white space, a sign, then digits of `base` (0 picks
// the base from the number's prefix). Without digits `end` stays at `pos`.
ScannedNumber ScanNumber(QStringView text, qsizetype pos, int base)
{
    ScannedNumber result;
    result.end = pos;
    qsizetype i = pos;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        result.negative = text[i] == u'-';
        ++i;
    }
    if (base == 0) {
        if (i < text.size() && text[i] == u'0') {
            // "0x" counts as a prefix only when a hexadecimal digit follows;
            // otherwise the number is the 0 before the "x".
            if (i + 2 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
                DigitValue(text[i + 2]) < 16) {
                base = 16;
                i += 2;
            } else {
                base = 8;
            }
        } else {
            base = 10;
        }
    }
    const qsizetype firstDigit = i;
    while (i < text.size()) {
        const int digit = DigitValue(text[i]);
        if (digit >= base)
            break;
        result.magnitude =
            std::min(result.magnitude * uint64_t(base) + uint64_t(digit), kMagnitudeCap);
        ++i;
    }
    if (i > firstDigit) {
        result.hasDigits = true;
        result.end = i;
    }
    return result;
}

// The value as a 32-bit signed long, saturated at its limits.
int32_t SignedValue(const ScannedNumber &number)
{
    constexpr uint64_t kMax = uint64_t(std::numeric_limits<int32_t>::max());
    if (number.negative)
        return number.magnitude > kMax + 1 ? std::numeric_limits<int32_t>::min()
                                           : int32_t(-int64_t(number.magnitude));
    return number.magnitude > kMax ? std::numeric_limits<int32_t>::max()
                                   : int32_t(number.magnitude);
}

} // namespace

int32_t ParseLayerInteger(QStringView text)
{
    return SignedValue(ScanNumber(text, 0, 10));
}

ColorRef ParseLayerColor(QStringView text)
{
    const ScannedNumber number = ScanNumber(text, 0, 10);
    if (number.magnitude >= kMagnitudeCap)
        return std::numeric_limits<ColorRef>::max();
    const auto value = ColorRef(number.magnitude);
    return number.negative ? ColorRef(0u - value) : value;
}

QString FormatLayerInteger(int32_t value)
{
    return QString::number(value);
}

QString FormatLayerColor(ColorRef color)
{
    return QString::number(int32_t(color));
}

QString FormatFontList(const LogFont &font)
{
    QString list;
    list.reserve(LogFont::kSize * 4);
    for (const uint8_t byte : font.bytes()) {
        if (!list.isEmpty())
            list += u',';
        list += QString::number(byte);
    }
    return list;
}

int DecodeFontList(QStringView text, LogFont &font)
{
    LogFont::Bytes &bytes = font.bytes();
    int count = 0;
    qsizetype pos = 0;
    while (count < LogFont::kSize) {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos == text.size())
            break;
        const ScannedNumber number = ScanNumber(text, pos, 0);
        bytes[count++] = number.hasDigits ? uint8_t(uint32_t(SignedValue(number))) : 0;
        if (!number.hasDigits)
            break;
        pos = number.end;
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos == text.size() || text[pos] != u',')
            break;
        ++pos;
    }
    return count;
}

} // namespace kw
