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

} // namespace kw
