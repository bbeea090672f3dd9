// Decodes arbitrary text as a layer file's font list and checks it against
// the C library's own number reading: each item is what strtoll with base 0
// reads from the 8-bit text, limited to the 32-bit signed range, and the list
// rules (white space, commas, the 92-byte limit) hold. Also checks that bytes
// past the decoded ones keep their values and that a written list reads back
// as the same 92 bytes.
#include "model/layer_values.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The list rules written out once more with strtoll as the number reader.
int ReferenceDecode(const std::string &text, uint8_t *bytes)
{
    const char *p = text.c_str();
    int count = 0;
    while (count < kw::LogFont::kSize) {
        while (IsCSpace(*p))
            ++p;
        if (*p == '\0')
            break;
        char *end = nullptr;
        errno = 0;
        long long value = std::strtoll(p, &end, 0);
        if (end == p) {
            bytes[count++] = 0;
            break;
        }
        value = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value;
        bytes[count++] = uint8_t(uint32_t(int32_t(value)));
        p = end;
        while (IsCSpace(*p))
            ++p;
        if (*p != ',')
            break;
        ++p;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string raw(reinterpret_cast<const char *>(data), size);
    // The 8-bit text ends at its first NUL, as the C library sees it.
    const std::string text = raw.substr(0, std::strlen(raw.c_str()));
    const QString wide = QString::fromLatin1(text.data(), qsizetype(text.size()));

    kw::LogFont font;
    for (int i = 0; i < kw::LogFont::kSize; ++i)
        font.bytes()[i] = uint8_t(0xA5 ^ i);
    const kw::LogFont before = font;
    const int count = kw::DecodeFontList(wide, font);
    Check(count >= 0 && count <= kw::LogFont::kSize);
    for (int i = count; i < kw::LogFont::kSize; ++i)
        Check(font.bytes()[i] == before.bytes()[i]);

    uint8_t expected[kw::LogFont::kSize];
    Check(ReferenceDecode(text, expected) == count);
    Check(std::memcmp(font.bytes().data(), expected, size_t(count)) == 0);

    // Text beyond Latin-1 reads the same way: such characters end a number.
    const QString utf8 = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    kw::LogFont other;
    const int utf8Count = kw::DecodeFontList(utf8, other);
    Check(utf8Count >= 0 && utf8Count <= kw::LogFont::kSize);

    // What the writer makes reads back as exactly the same record.
    kw::LogFont back;
    Check(kw::DecodeFontList(kw::FormatFontList(font), back) == kw::LogFont::kSize);
    Check(back == font);
    return 0;
}
