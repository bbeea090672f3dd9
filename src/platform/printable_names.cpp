#include "platform/printable_names.h"

namespace kw {

namespace {

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype at, char32_t *decoded)
{
    const auto byte = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(at);
    if (lead < 0x80) {
        *decoded = lead;
        return 1;
    }
    qsizetype length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *decoded = c;
    return length;
}

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void AppendEscaped(QString &out, char32_t c)
{
    switch (c) {
    case U'\n':
        out += u"\\n";
        return;
    case U'\t':
        out += u"\\t";
        return;
    case U'\r':
        out += u"\\r";
        return;
    default:
        out +=
            QStringLiteral("\\x") + QString::number(uint(c), 16).toUpper().rightJustified(2, u'0');
    }
}

} // namespace

bool IsValidUtf8(QByteArrayView bytes)
{
    char32_t c = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = Utf8SequenceLength(bytes, i, &c);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QString EscapeControlCharacters(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (IsControl(c.unicode()))
            AppendEscaped(out, c.unicode());
        else
            out += c;
    }
    return out;
}

QString EscapedFileName(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const qsizetype length = Utf8SequenceLength(bytes, i, &c);
        if (length == 0) {
            AppendEscaped(out, uchar(bytes[i]));
            ++i;
            continue;
        }
        if (IsControl(c))
            AppendEscaped(out, c);
        else
            out += QString::fromUcs4(&c, 1);
        i += length;
    }
    return out;
}

} // namespace kw
