#include "xml/xml_tokenizer.h"

namespace kw {

namespace {

bool isNameStart(char16_t c)
{
    // Any character from lower-case a upwards counts, which takes in every
    // non-ASCII letter without a table.
    return (c >= u'A' && c <= u'Z') || c >= u'a' || c == u'_' || c == u':';
}

XmlToken makeToken(XmlNodeKind kind, qsizetype start, qsizetype end)
{
    XmlToken token;
    token.kind = kind;
    token.start = start;
    token.length = end - start;
    return token;
}

// An error node runs to the next ">" (included) or stops before the next "<".
XmlToken errorToken(QStringView text, qsizetype start, qsizetype scanFrom, const char16_t *name)
{
    qsizetype end = scanFrom;
    while (end < text.size() && text[end] != u'>' && text[end] != u'<')
        ++end;
    if (end < text.size() && text[end] == u'>')
        ++end;
    XmlToken token = makeToken(XmlNodeKind::Error, start, end);
    token.errorName = name;
    return token;
}

XmlToken unterminatedToken(QStringView text, qsizetype start, const char16_t *type)
{
    XmlToken token = makeToken(XmlNodeKind::Error, start, text.size());
    token.errorName = u"unterminated_tag_syntax";
    token.unterminatedType = type;
    return token;
}

// A node that ends with a fixed terminator ("?>", "-->", "]]>").
XmlToken delimitedToken(QStringView text, qsizetype start, qsizetype scanFrom, XmlNodeKind kind,
                        QStringView terminator, const char16_t *unterminatedType)
{
    const qsizetype at = text.indexOf(terminator, scanFrom);
    if (at < 0)
        return unterminatedToken(text, start, unterminatedType);
    return makeToken(kind, start, at + terminator.size());
}

XmlToken startTagToken(QStringView text, qsizetype start)
{
    const qsizetype size = text.size();
    qsizetype i = start + 1;
    while (i < size && !IsXmlWhiteSpace(text[i].unicode()) && text[i] != u'/' && text[i] != u'>')
        ++i;
    XmlToken token;
    token.nameStart = start + 1;
    token.nameLength = i - token.nameStart;

    // A "/" counts towards "/>" unless it belongs to an unquoted attribute value.
    bool slashCounts = false;
    bool inUnquotedValue = false;
    while (i < size) {
        const char16_t c = text[i].unicode();
        if (c == u'>') {
            token.kind = XmlNodeKind::StartTag;
            token.start = start;
            token.length = i + 1 - start;
            token.isEmptyElement = slashCounts;
            return token;
        }
        if (c == u'"' || c == u'\'') {
            const qsizetype close = text.indexOf(QChar(c), i + 1);
            if (close < 0)
                break;
            i = close + 1;
            inUnquotedValue = false;
            slashCounts = false;
            continue;
        }
        if (IsXmlWhiteSpace(c)) {
            inUnquotedValue = false;
            slashCounts = false;
        } else if (c == u'=') {
            // Skip blanks; a value that does not start with a quote is unquoted.
            qsizetype j = i + 1;
            while (j < size && IsXmlWhiteSpace(text[j].unicode()))
                ++j;
            inUnquotedValue = j < size && text[j] != u'"' && text[j] != u'\'' && text[j] != u'>';
            slashCounts = false;
            i = j;
            continue;
        } else if (c == u'/') {
            const char16_t before = text[i - 1].unicode();
            slashCounts =
                !inUnquotedValue || IsXmlWhiteSpace(before) || before == u'"' || before == u'\'';
        } else {
            slashCounts = false;
        }
        ++i;
    }
    return unterminatedToken(text, start, u"start_tag");
}

// "<!D...>": ends at the first ">" outside the declarations of its internal part.
XmlToken documentTypeToken(QStringView text, qsizetype start)
{
    const qsizetype size = text.size();
    qsizetype i = start + 2;
    while (i < size) {
        const char16_t c = text[i].unicode();
        if (c == u'>')
            return makeToken(XmlNodeKind::DocumentType, start, i + 1);
        if (c == u'<' && i + 1 < size && text[i + 1] == u'!') {
            if (i + 2 >= size)
                return unterminatedToken(text, start, u"document_type");
            const char16_t kind = text[i + 2].unicode();
            if (kind == u'-') {
                const qsizetype close = text.indexOf(u"-->", i + 3);
                if (close < 0)
                    return unterminatedToken(text, start, u"document_type");
                i = close + 3;
                continue;
            }
            if (kind != u'A' && kind != u'E' && kind != u'N')
                return errorToken(text, start, i + 2, u"doctype_tag_syntax");
            // A declaration runs to its own ">" outside quoted strings.
            qsizetype j = i + 3;
            while (j < size && text[j] != u'>') {
                if (text[j] == u'"' || text[j] == u'\'') {
                    const qsizetype close = text.indexOf(text[j], j + 1);
                    if (close < 0)
                        return unterminatedToken(text, start, u"document_type");
                    j = close;
                }
                ++j;
            }
            if (j >= size)
                return unterminatedToken(text, start, u"document_type");
            i = j + 1;
            continue;
        }
        ++i;
    }
    return unterminatedToken(text, start, u"document_type");
}

XmlToken markupToken(QStringView text, qsizetype start)
{
    const qsizetype size = text.size();
    if (start + 1 >= size)
        return unterminatedToken(text, start, u"tag");
    const char16_t second = text[start + 1].unicode();
    if (second == u'/') {
        const qsizetype close = text.indexOf(u'>', start + 2);
        if (close < 0)
            return unterminatedToken(text, start, u"end_tag");
        XmlToken token = makeToken(XmlNodeKind::EndTag, start, close + 1);
        qsizetype nameEnd = start + 2;
        while (nameEnd < close && !IsXmlWhiteSpace(text[nameEnd].unicode()))
            ++nameEnd;
        token.nameStart = start + 2;
        token.nameLength = nameEnd - token.nameStart;
        return token;
    }
    if (second == u'?')
        return delimitedToken(text, start, start + 2, XmlNodeKind::ProcessingInstruction, u"?>",
                              u"processing_instruction");
    if (second == u'!') {
        if (start + 2 >= size)
            return unterminatedToken(text, start, u"tag");
        const char16_t third = text[start + 2].unicode();
        if (third == u'-') {
            if (start + 3 >= size)
                return unterminatedToken(text, start, u"tag");
            if (text[start + 3] != u'-')
                return errorToken(text, start, start + 3, u"comment_tag_syntax");
            return delimitedToken(text, start, start + 4, XmlNodeKind::Comment, u"-->", u"comment");
        }
        if (third == u'[') {
            if (start + 3 >= size)
                return unterminatedToken(text, start, u"tag");
            if (text[start + 3] != u'C')
                return errorToken(text, start, start + 3, u"cdata_section_syntax");
            return delimitedToken(text, start, start + 3, XmlNodeKind::CharacterSection, u"]]>",
                                  u"cdata_section");
        }
        if (third == u'D')
            return documentTypeToken(text, start);
        return errorToken(text, start, start + 2, u"exclamation_tag_syntax");
    }
    if (isNameStart(second))
        return startTagToken(text, start);
    return errorToken(text, start, start + 1, u"first_tag_syntax");
}

} // namespace

XmlToken NextXmlToken(QStringView text, qsizetype from)
{
    const qsizetype size = text.size();
    if (from >= size)
        return makeToken(XmlNodeKind::End, size, size);
    if (text[from] == u'<')
        return markupToken(text, from);

    qsizetype i = from;
    while (i < size && IsXmlWhiteSpace(text[i].unicode()))
        ++i;
    if (i > from && (i == size || text[i] == u'<'))
        return makeToken(XmlNodeKind::WhiteSpace, from, i);
    const qsizetype next = text.indexOf(u'<', i);
    return makeToken(XmlNodeKind::Text, from, next < 0 ? size : next);
}

bool FindXmlTagAttribute(QStringView tag, QStringView name, Qt::CaseSensitivity cs,
                         QStringView *value)
{
    qsizetype i = 1;
    const qsizetype size = tag.size();
    // Skip "<", "<?" and the tag name.
    if (i < size && tag[i] == u'?')
        ++i;
    while (i < size && !IsXmlWhiteSpace(tag[i].unicode()) && tag[i] != u'>' && tag[i] != u'/')
        ++i;
    while (i < size) {
        while (i < size && (IsXmlWhiteSpace(tag[i].unicode()) || tag[i] == u'/'))
            ++i;
        if (i >= size || tag[i] == u'>' || tag[i] == u'?')
            return false;
        const qsizetype nameStart = i;
        while (i < size && !IsXmlWhiteSpace(tag[i].unicode()) && tag[i] != u'=' && tag[i] != u'>' &&
               tag[i] != u'/')
            ++i;
        const QStringView attributeName = tag.sliced(nameStart, i - nameStart);
        while (i < size && IsXmlWhiteSpace(tag[i].unicode()))
            ++i;
        QStringView attributeValue;
        if (i < size && tag[i] == u'=') {
            ++i;
            while (i < size && IsXmlWhiteSpace(tag[i].unicode()))
                ++i;
            if (i < size && (tag[i] == u'"' || tag[i] == u'\'')) {
                const QChar quote = tag[i];
                qsizetype close = tag.indexOf(quote, i + 1);
                if (close < 0)
                    close = size;
                attributeValue = tag.sliced(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < size && !IsXmlWhiteSpace(tag[i].unicode()) && tag[i] != u'>')
                    ++i;
                attributeValue = tag.sliced(valueStart, i - valueStart);
                // "?>" closing a processing instruction is not part of the value.
                if (attributeValue.endsWith(u'?'))
                    attributeValue.chop(1);
            }
        }
        if (attributeName.compare(name, cs) == 0) {
            *value = attributeValue;
            return true;
        }
    }
    return false;
}

} // namespace kw
