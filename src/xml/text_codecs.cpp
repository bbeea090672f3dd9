#include "xml/text_codecs.h"

namespace kw {
namespace {

constexpr char32_t kReplacement = U'?';
constexpr char32_t kMaxCodePoint = 0x10FFFF;

// The UTF-8 decoder behind DecodeUtf8 and IsLenientUtf8; with stopAtError it
// returns at the first error (IsLenientUtf8 needs no more).
int DecodeUtf8Impl(QByteArrayView bytes, std::u32string *codePoints, bool stopAtError)
{
    int errors = 0;
    const auto output = [codePoints](char32_t c) {
        if (codePoints) {
            codePoints->push_back(c);
        }
    };
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < 0x80) {
            output(lead);
            continue;
        }
        int continuations;
        char32_t value;
        if ((lead & 0xF8) == 0xF8) {
            ++errors;
            output(kReplacement);
            if (stopAtError) {
                return errors;
            }
            continue;
        } else if ((lead & 0xF0) == 0xF0) {
            continuations = 3;
            value = lead & 0x07;
        } else if ((lead & 0xE0) == 0xE0) {
            continuations = 2;
            value = lead & 0x0F;
        } else {
            // 110xxxxx, and 10xxxxxx standing where a lead should be.
            continuations = 1;
            value = lead & 0x1F;
        }
        bool complete = true;
        for (int k = 0; k < continuations; ++k) {
            if (i >= size || static_cast<unsigned char>(bytes[i]) < 0x80) {
                // Leave the byte below 0x80 for the next round.
                complete = false;
                break;
            }
            value = (value << 6) | (static_cast<unsigned char>(bytes[i++]) & 0x3F);
        }
        if (complete) {
            output(value);
            continue;
        }
        ++errors;
        output(kReplacement);
        if (stopAtError) {
            return errors;
        }
    }
    return errors;
}

void AppendUtf32Unit(QByteArray *out, char32_t value, bool bigEndian)
{
    char unit[4];
    for (int k = 0; k < 4; ++k) {
        const int shift = bigEndian ? 24 - 8 * k : 8 * k;
        unit[k] = static_cast<char>((value >> shift) & 0xFF);
    }
    out->append(unit, 4);
}

} // namespace

int DecodeUtf8(QByteArrayView bytes, std::u32string *codePoints)
{
    if (codePoints) {
        codePoints->clear();
        codePoints->reserve(static_cast<std::size_t>(bytes.size()));
    }
    return DecodeUtf8Impl(bytes, codePoints, false);
}

bool IsLenientUtf8(QByteArrayView bytes)
{
    return DecodeUtf8Impl(bytes, nullptr, true) == 0;
}

int DecodeUtf16(QStringView text, std::u32string *codePoints)
{
    std::u32string scratch;
    std::u32string &out = codePoints ? *codePoints : scratch;
    out.clear();
    out.reserve(static_cast<std::size_t>(text.size()));
    int errors = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0xD800 || unit > 0xDFFF) {
            out.push_back(unit);
            continue;
        }
        if (unit <= 0xDBFF && i + 1 < size) {
            const char16_t next = text[i + 1].unicode();
            if (next >= 0xDC00 && next <= 0xDFFF) {
                out.push_back(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        ++errors;
        out.push_back(kReplacement);
    }
    return errors;
}

QString EncodeUtf16(std::u32string_view codePoints)
{
    QString out;
    out.reserve(static_cast<qsizetype>(codePoints.size()));
    for (char32_t c : codePoints) {
        if (c < 0x10000) {
            out.append(QChar(static_cast<char16_t>(c)));
        } else if (c <= kMaxCodePoint) {
            const char32_t offset = c - 0x10000;
            out.append(QChar(static_cast<char16_t>(0xD800 + (offset >> 10))));
            out.append(QChar(static_cast<char16_t>(0xDC00 + (offset & 0x3FF))));
        } else {
            out.append(u'?');
        }
    }
    return out;
}

QByteArray EncodeUtf8(std::u32string_view codePoints)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(codePoints.size()));
    const auto put = [&out](char32_t byte) { out.append(static_cast<char>(byte)); };
    for (char32_t c : codePoints) {
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else if (c <= kMaxCodePoint) {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(kReplacement);
        }
    }
    return out;
}

int DecodeUtf32(QByteArrayView bytes, bool bigEndian, std::u32string *codePoints)
{
    std::u32string scratch;
    std::u32string &out = codePoints ? *codePoints : scratch;
    out.clear();
    const qsizetype units = bytes.size() / 4;
    out.reserve(static_cast<std::size_t>(units) + 1);
    for (qsizetype i = 0; i < units; ++i) {
        char32_t value = 0;
        for (int k = 0; k < 4; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[4 * i + k]);
            const int shift = bigEndian ? 24 - 8 * k : 8 * k;
            value |= char32_t(byte) << shift;
        }
        out.push_back(value);
    }
    if (bytes.size() % 4 != 0) {
        out.push_back(kReplacement);
        return 1;
    }
    return 0;
}

QByteArray EncodeUtf32(std::u32string_view codePoints, bool bigEndian)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(codePoints.size()) * 4);
    for (char32_t c : codePoints) {
        AppendUtf32Unit(&out, c <= kMaxCodePoint ? c : kReplacement, bigEndian);
    }
    return out;
}

} // namespace kw
