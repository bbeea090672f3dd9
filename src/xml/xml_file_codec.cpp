#include "xml/xml_file_codec.h"

#include "platform/code_pages.h"
#include "xml/text_codecs.h"
#include "xml/xml_tokenizer.h"

#include <QFile>
#include <QSaveFile>

namespace kw {

namespace {

// Larger files are refused: the document keeps 32-bit offsets.
constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;
constexpr qsizetype kSniffBytes = 1024;

using Bom = CXmlDocument::ByteOrderMark;

// The platform's message, cut at its first line break.
QString errorLine(const QFileDevice &file)
{
    QString message = file.errorString();
    const qsizetype lineBreak = message.indexOf(u'\n');
    if (lineBreak >= 0)
        message.truncate(lineBreak);
    return message;
}

void logFileError(XmlResultLog &log, const QFileDevice &file, const QString &path)
{
    log.add(
        u"file_error",
        {{u"msg", errorLine(file)}, {u"n", QString::number(int(file.error()))}, {u"type", path}});
}

QString logEncodingName(int codePage)
{
    return QStringLiteral("cp") + QString::number(codePage);
}

// "cannot read "/x/a.xml": No such file or directory"
QString fileFailure(QStringView what, const QFileDevice &file, const QString &path)
{
    return what.toString() + QStringLiteral(" \"%1\": %2").arg(path, errorLine(file));
}

bool isUnicodeCodePage(int codePage)
{
    return codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE ||
           codePage == kCodePageUtf32LE || codePage == kCodePageUtf32BE;
}

// Splits a meta content value at white space and the delimiters, each
// delimiter being a token of its own, and returns the token after "charset" "=".
QString charsetFromContent(QStringView content)
{
    static constexpr QStringView kDelimiters = u"!\"'/;<=>?\\";
    std::vector<QStringView> tokens;
    qsizetype i = 0;
    while (i < content.size()) {
        const QChar c = content[i];
        if (IsXmlWhiteSpace(c.unicode())) {
            ++i;
        } else if (kDelimiters.contains(c)) {
            tokens.push_back(content.sliced(i, 1));
            ++i;
        } else {
            const qsizetype start = i;
            while (i < content.size() && !IsXmlWhiteSpace(content[i].unicode()) &&
                   !kDelimiters.contains(content[i]))
                ++i;
            tokens.push_back(content.sliced(start, i - start));
        }
    }
    for (size_t t = 0; t + 2 < tokens.size(); ++t) {
        if (tokens[t].compare(u"charset", Qt::CaseInsensitive) == 0 && tokens[t + 1] == u"=")
            return tokens[t + 2].toString();
    }
    return {};
}

QStringView tagName(QStringView text, const XmlToken &token)
{
    return text.sliced(token.nameStart, token.nameLength);
}

// The code page a text built in memory is written in: the one its
// declaration names; UTF-8 for none and for a name we do not know (both read
// back as UTF-8), and for UTF-16 or UTF-32, which would not read back without
// a mark.
int declaredCodePage(QStringView text)
{
    const QString declared = FindDeclaredEncoding(text);
    const int codePage = declared.isEmpty() ? 0 : CodePageFromEncodingName(declared);
    if (codePage == 0 || isUnicodeCodePage(codePage))
        return kCodePageUtf8;
    return codePage;
}

// "U+4E2D "中"", leaving out the character itself when it would not show.
QString describeCharacter(QStringView text, qsizetype at)
{
    char32_t value = text[at].unicode();
    qsizetype length = 1;
    if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        value = QChar::surrogateToUcs4(text[at], text[at + 1]);
        length = 2;
    }
    QString description =
        QStringLiteral("U+") + QString::number(uint(value), 16).toUpper().rightJustified(4, u'0');
    const bool shows = !text[at].isSurrogate() || length == 2;
    if (shows && QChar::isPrint(value))
        description += QStringLiteral(" \"%1\"").arg(text.sliced(at, length));
    return description;
}

// Why `text`, written in the code page, reads back as `decoded`: the first
// character that differs, and whether the encoding can hold it at all.
QString readBackFailure(QStringView text, QStringView decoded, int codePage)
{
    const QString encodingName = CodePageDisplayName(codePage);
    qsizetype at = 0;
    while (at < text.size() && at < decoded.size() && text[at] == decoded[at])
        ++at;
    if (at >= text.size())
        return QStringLiteral("its text would not read back the same from %1").arg(encodingName);
    if (at > 0 && text[at].isLowSurrogate() && text[at - 1].isHighSurrogate())
        --at; // name the whole pair
    const qsizetype length =
        text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
    const QStringView character = text.sliced(at, length);
    if (DecodeFromCodePage(EncodeToCodePage(character, codePage), codePage) != character)
        return QStringLiteral("its encoding, %1, cannot hold the character %2")
            .arg(encodingName, describeCharacter(text, at));
    return QStringLiteral("its text would not read back the same from %1, from the character %2 on")
        .arg(encodingName, describeCharacter(text, at));
}

} // namespace

QString FindDeclaredEncoding(QStringView text)
{
    XmlToken token = NextXmlToken(text, 0);
    if (token.kind == XmlNodeKind::ProcessingInstruction) {
        const QStringView pi = text.sliced(token.start, token.length);
        qsizetype nameEnd = 2;
        while (nameEnd < pi.size() && !IsXmlWhiteSpace(pi[nameEnd].unicode()) &&
               pi[nameEnd] != u'?')
            ++nameEnd;
        if (pi.sliced(2, nameEnd - 2).compare(u"xml", Qt::CaseInsensitive) == 0) {
            QStringView encoding;
            if (FindXmlTagAttribute(pi, u"encoding", Qt::CaseInsensitive, &encoding))
                return encoding.toString();
            return {};
        }
    }

    bool insideHtml = false;
    for (; token.kind != XmlNodeKind::End; token = NextXmlToken(text, token.end())) {
        if (token.kind == XmlNodeKind::Error)
            return {};
        if (token.kind == XmlNodeKind::EndTag &&
            tagName(text, token).compare(u"head", Qt::CaseInsensitive) == 0)
            return {};
        if (token.kind != XmlNodeKind::StartTag)
            continue;
        const QStringView name = tagName(text, token);
        if (!insideHtml) {
            if (name.compare(u"html", Qt::CaseInsensitive) != 0)
                return {};
            insideHtml = true;
            continue;
        }
        if (name.compare(u"meta", Qt::CaseInsensitive) != 0)
            continue;
        const QStringView tag = text.sliced(token.start, token.length);
        QStringView httpEquiv;
        QStringView content;
        if (FindXmlTagAttribute(tag, u"http-equiv", Qt::CaseInsensitive, &httpEquiv) &&
            httpEquiv.compare(u"Content-Type", Qt::CaseInsensitive) == 0 &&
            FindXmlTagAttribute(tag, u"content", Qt::CaseInsensitive, &content)) {
            const QString charset = charsetFromContent(content);
            if (!charset.isEmpty())
                return charset;
        }
    }
    return {};
}

Result<QByteArray> ReadXmlFileBytes(const QString &path, XmlResultLog &log)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        logFileError(log, file, path);
        return Failure{fileFailure(u"cannot read", file, path)};
    }
    if (file.size() > kMaxFileBytes) {
        log.add(u"file_error", {{u"msg", QStringLiteral("file too large")},
                                {u"length", QString::number(file.size())}});
        return Failure{QStringLiteral("\"%1\" is too large (%2 bytes)")
                           .arg(path, QString::number(file.size()))};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        logFileError(log, file, path);
        return Failure{fileFailure(u"cannot read", file, path)};
    }
    log.add(u"read", {{u"length", QString::number(bytes.size())}});
    return bytes;
}

Status WriteXmlFileBytes(const QString &path, const QByteArray &bytes, XmlResultLog &log)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        logFileError(log, file, path);
        return Failure{fileFailure(u"cannot write", file, path)};
    }
    // flush() first: commit() misses a failure that only shows when the
    // last buffered bytes reach the file, and would rename a truncated file
    // into place.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        logFileError(log, file, path);
        const QString reason = fileFailure(u"cannot write", file, path);
        file.cancelWriting();
        return Failure{reason};
    }
    log.add(u"write", {{u"length", QString::number(bytes.size())}});
    return {};
}

DecodedXmlFile DecodeXmlFile(QByteArrayView bytes, XmlResultLog &log)
{
    DecodedXmlFile result;
    QString encoding;
    qsizetype markLength = 0;
    bool wide = false;
    bool bigEndian = false;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        result.bom = Bom::Utf8;
        encoding = QStringLiteral("UTF-8");
        markLength = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        result.bom = Bom::Utf16LE;
        encoding = QStringLiteral("UTF-16LE");
        markLength = 2;
        wide = true;
    } else if (bytes.startsWith("\xFE\xFF")) {
        result.bom = Bom::Utf16BE;
        encoding = QStringLiteral("UTF-16BE");
        markLength = 2;
        wide = true;
        bigEndian = true;
    }
    if (result.bom != Bom::None) {
        log.add(u"bom", {{u"encoding", encoding}});
    } else {
        std::u32string sniffed;
        DecodeUtf8(bytes.first(qMin(bytes.size(), kSniffBytes)), &sniffed);
        encoding = FindDeclaredEncoding(EncodeUtf16(sniffed));
        if (encoding.isEmpty() && !bytes.isEmpty() && bytes[0] == '<')
            encoding = QStringLiteral("UTF-8");
    }

    const QByteArrayView body = bytes.sliced(markLength);
    if (wide) {
        const qsizetype units = body.size() / 2;
        result.text.reserve(units + 1);
        qsizetype nulls = 0;
        for (qsizetype i = 0; i < units; ++i) {
            const auto first = uchar(body[2 * i]);
            const auto second = uchar(body[2 * i + 1]);
            const char16_t unit =
                bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
            if (unit == 0)
                ++nulls;
            else
                result.text += QChar(unit);
        }
        if (body.size() % 2 != 0) {
            result.text += u'?'; // half a unit at the end of the file
            result.undecodable = 1;
        }
        if (nulls)
            log.add(u"nulls_removed", {{u"count", QString::number(nulls)}});
        if (bigEndian)
            log.add(u"endian_swap", {{u"count", QString::number(units)}});
        return result;
    }

    QByteArray narrow = body.toByteArray();
    const qsizetype nulls = narrow.count('\0');
    if (nulls) {
        narrow.removeIf([](char c) { return c == '\0'; });
        log.add(u"nulls_removed", {{u"count", QString::number(nulls)}});
    }
    int codePage = encoding.isEmpty() ? 0 : CodePageFromEncodingName(encoding);
    if (isUnicodeCodePage(codePage))
        codePage = 0; // a file of single bytes that claims UTF-16 or UTF-32: detect instead
    if (codePage == 0 && IsLenientUtf8(narrow)) {
        codePage = kCodePageUtf8;
        log.add(u"utf8_detection");
    }
    if (codePage == 0)
        codePage = kSystemAnsiCodePage;
    int undecodable = 0;
    result.text = DecodeFromCodePage(narrow, codePage, &undecodable);
    if (undecodable && codePage == kCodePageUtf8 && result.bom == Bom::None) {
        // Not UTF-8 after all (typically a file saved by an editor working in
        // the ANSI code page, whatever its declaration says). The ANSI code
        // page decodes every byte, and the file is written back in it.
        log.add(u"ansi_fallback", {{u"count", QString::number(undecodable)}});
        codePage = kSystemAnsiCodePage;
        undecodable = 0;
        result.text = DecodeFromCodePage(narrow, codePage);
    }
    result.codePage = codePage;
    result.undecodable = undecodable;
    log.add(u"converted_to", {{u"encoding", logEncodingName(codePage)},
                              {u"length", QString::number(result.text.size())}});
    return result;
}

Result<QByteArray> EncodeXmlFile(QStringView text, Bom bom, int codePage, XmlResultLog &log)
{
    if (text.isEmpty())
        return QByteArray();
    QByteArray bytes;
    switch (bom) {
    case Bom::Utf8:
        codePage = kCodePageUtf8;
        bytes = QByteArrayLiteral("\xEF\xBB\xBF") + EncodeToCodePage(text, codePage);
        break;
    case Bom::Utf16LE:
    case Bom::Utf16BE: {
        const bool bigEndian = bom == Bom::Utf16BE;
        codePage = bigEndian ? kCodePageUtf16BE : kCodePageUtf16LE;
        bytes.reserve(2 + 2 * text.size());
        bytes += bigEndian ? QByteArrayLiteral("\xFE\xFF") : QByteArrayLiteral("\xFF\xFE");
        for (QChar c : text) {
            const char16_t unit = c.unicode();
            const char high = char(unit >> 8);
            const char low = char(unit & 0xFF);
            bytes += bigEndian ? high : low;
            bytes += bigEndian ? low : high;
        }
        break;
    }
    case Bom::None: {
        if (codePage == 0)
            codePage = declaredCodePage(text);
        int lost = 0;
        bytes = EncodeToCodePage(text, codePage, &lost);
        log.add(u"converted_from", {{u"encoding", logEncodingName(codePage)},
                                    {u"length", QString::number(bytes.size())}});
        if (lost)
            log.add(u"conversion_loss", {{u"count", QString::number(lost)}});
        break;
    }
    }

    // Reading the bytes back is the one check that holds for every encoding
    // (some converters cannot report what they replace).
    XmlResultLog readBack;
    const QString decoded = DecodeXmlFile(bytes, readBack).text;
    if (decoded != text) {
        if (!log.contains(u"conversion_loss"))
            log.add(u"conversion_loss");
        return Failure{readBackFailure(text, decoded, codePage)};
    }
    return bytes;
}

} // namespace kw
