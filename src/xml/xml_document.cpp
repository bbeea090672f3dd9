#include "xml/xml_document.h"

#include "xml/entity_table.h"
#include "xml/xml_file_codec.h"
#include "xml/xml_tokenizer.h"

#include <initializer_list>
#include <limits>

using kw::IsXmlWhiteSpace;
using kw::NextXmlToken;
using kw::XmlNodeKind;
using kw::XmlToken;

namespace {

// Offsets are kept in 32 bits; longer texts are refused rather than wrapped.
constexpr qsizetype kMaxDocumentLength = std::numeric_limits<int32_t>::max() / 2;

const QString kLineBreak = QStringLiteral("\r\n");

QString offsetText(qsizetype offset)
{
    return QString::number(offset);
}

QString concat(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (QStringView part : parts)
        size += part.size();
    QString result;
    result.reserve(size);
    for (QStringView part : parts)
        result.append(part);
    return result;
}

// A name the new element's text will read back as: it starts like a tag name
// and holds nothing that ends a name or opens markup.
bool isUsableElementName(QStringView name)
{
    if (name.isEmpty())
        return false;
    const char16_t first = name[0].unicode();
    if (!((first >= u'A' && first <= u'Z') || first >= u'a' || first == u'_' || first == u':'))
        return false;
    for (QChar c : name) {
        if (IsXmlWhiteSpace(c.unicode()) || c == u'/' || c == u'>' || c == u'<' || c == u'&' ||
            c == u'"' || c == u'\'' || c == u'=')
            return false;
    }
    return true;
}

bool isNameTerminator(QChar c)
{
    return IsXmlWhiteSpace(c.unicode()) || c == u'/' || c == u'>';
}

// Appends the code point as UTF-16.
void appendCodePoint(QString &out, char32_t codePoint)
{
    if (codePoint >= 0x10000) {
        const char32_t v = codePoint - 0x10000;
        out += QChar(char16_t(0xD800 + (v >> 10)));
        out += QChar(char16_t(0xDC00 + (v & 0x3FF)));
    } else {
        out += QChar(char16_t(codePoint));
    }
}

// Value of a numeric reference body ("#233", "#xE9"); 0 when it gives none.
// Digits are read up to the first character that is not one.
char32_t numericReference(QStringView body)
{
    qsizetype i = 1;
    int base = 10;
    if (i < body.size() && (body[i] == u'x' || body[i] == u'X')) {
        base = 16;
        ++i;
    }
    char32_t value = 0;
    for (; i < body.size(); ++i) {
        const char16_t c = body[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        value = value * base + digit;
        if (value > 0x10FFFF)
            return 0; // beyond Unicode: not a reference
    }
    return value;
}

} // namespace

// ---------------------------------------------------------------- escaping

QString CXmlDocument::EscapeText(QStringView text)
{
    QString out;
    out.reserve(text.size());
    kw::AppendXmlEscaped(out, text, false);
    return out;
}

QString CXmlDocument::UnescapeText(QStringView text)
{
    // A reference holds at most nine characters between "&" and ";".
    constexpr qsizetype kMaxReferenceBody = 9;
    if (!text.contains(u'&'))
        return text.toString();

    QString out;
    out.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'&') {
            out += c;
            continue;
        }
        qsizetype semicolon = -1;
        for (qsizetype k = 1; k <= kMaxReferenceBody + 1 && i + k < size; ++k) {
            const char16_t r = text[i + k].unicode();
            if (r == u';') {
                semicolon = i + k;
                break;
            }
            if (r >= 0x80)
                break;
        }
        char32_t codePoint = 0;
        if (semicolon > i + 1) {
            const QStringView body = text.sliced(i + 1, semicolon - i - 1);
            codePoint = body[0] == u'#' ? numericReference(body) : kw::LookUpEntity(body);
        }
        if (codePoint == 0) {
            out += c;
            continue;
        }
        appendCodePoint(out, codePoint);
        i = semicolon;
    }
    return out;
}

// ---------------------------------------------------------------- index

void CXmlDocument::clearIndex()
{
    m_starts.assign(1, 0);
    m_elements.assign(1, Element{});
    m_freeElements.clear();
    m_parent = m_current = m_rememberedChild = 0;
}

int32_t CXmlDocument::newElement()
{
    if (!m_freeElements.empty()) {
        const int32_t element = m_freeElements.back();
        m_freeElements.pop_back();
        m_elements[element] = Element{};
        return element;
    }
    m_starts.push_back(0);
    m_elements.emplace_back();
    return int32_t(m_elements.size() - 1);
}

void CXmlDocument::freeSubtree(int32_t root)
{
    std::vector<int32_t> pending{root};
    while (!pending.empty()) {
        const int32_t element = pending.back();
        pending.pop_back();
        for (int32_t child = m_elements[element].firstChild; child;
             child = m_elements[child].nextSibling)
            pending.push_back(child);
        m_starts[element] = -1; // never shifted again
        m_elements[element] = Element{};
        m_freeElements.push_back(element);
    }
}

int32_t CXmlDocument::lastChild(int32_t parent) const
{
    const int32_t first = m_elements[parent].firstChild;
    return first ? m_elements[first].previousSibling : 0;
}

void CXmlDocument::linkLastChild(int32_t parent, int32_t element)
{
    Element &e = m_elements[element];
    e.parent = parent;
    e.nextSibling = 0;
    const int32_t first = m_elements[parent].firstChild;
    if (!first) {
        m_elements[parent].firstChild = element;
        e.previousSibling = element;
        return;
    }
    const int32_t last = m_elements[first].previousSibling;
    m_elements[last].nextSibling = element;
    e.previousSibling = last;
    m_elements[first].previousSibling = element;
}

void CXmlDocument::linkAfter(int32_t sibling, int32_t element)
{
    const int32_t parent = m_elements[sibling].parent;
    const int32_t next = m_elements[sibling].nextSibling;
    Element &e = m_elements[element];
    e.parent = parent;
    e.previousSibling = sibling;
    e.nextSibling = next;
    m_elements[sibling].nextSibling = element;
    if (next)
        m_elements[next].previousSibling = element;
    else
        m_elements[m_elements[parent].firstChild].previousSibling = element;
}

void CXmlDocument::unlink(int32_t element)
{
    const Element &e = m_elements[element];
    Element &parent = m_elements[e.parent];
    const int32_t first = parent.firstChild;
    if (element == first) {
        parent.firstChild = e.nextSibling;
        if (e.nextSibling)
            m_elements[e.nextSibling].previousSibling = e.previousSibling;
        return;
    }
    m_elements[e.previousSibling].nextSibling = e.nextSibling;
    if (e.nextSibling)
        m_elements[e.nextSibling].previousSibling = e.previousSibling;
    else
        m_elements[first].previousSibling = e.previousSibling;
}

// Elements whose end tags never came keep only their start tags, and their
// children become their following siblings. Closing the open chain from
// `first` (outermost) to the innermost in one pass gives the same result as
// closing them one by one from the inside, without moving children level by
// level: every child of a closed element ends up under the outermost one's
// parent, in document order. Each closed element is the last child of its
// parent, so the moved elements simply extend that parent's list.
void CXmlDocument::closeAsNotEnded(const std::vector<int32_t> &open, size_t first)
{
    const int32_t parent = m_elements[open[first]].parent;
    int32_t last = open[first];
    for (size_t i = first; i < open.size(); ++i) {
        Element &e = m_elements[open[i]];
        e.length = e.startTagLength;
        e.endTagLength = 0;
        e.flags |= NotEnded;
        const int32_t child = e.firstChild;
        e.firstChild = 0;
        for (int32_t c = child; c;) {
            const int32_t next = m_elements[c].nextSibling;
            m_elements[c].parent = parent;
            m_elements[last].nextSibling = c;
            m_elements[c].previousSibling = last;
            m_elements[c].nextSibling = 0;
            last = c;
            c = next;
        }
    }
    m_elements[m_elements[parent].firstChild].previousSibling = last;
}

bool CXmlDocument::isEmptyElement(int32_t element) const
{
    return m_elements[element].length == m_elements[element].startTagLength;
}

QStringView CXmlDocument::elementName(int32_t element) const
{
    if (element <= 0)
        return {};
    const qsizetype start = m_starts[element] + 1;
    const qsizetype tagEnd = m_starts[element] + m_elements[element].startTagLength;
    qsizetype end = start;
    while (end < tagEnd && end < m_text.size() && !isNameTerminator(m_text[end]))
        ++end;
    return QStringView(m_text).sliced(start, end - start);
}

// ---------------------------------------------------------------- parsing

void CXmlDocument::parse()
{
    clearIndex();
    m_elements[0].length = int32_t(m_text.size());
    const QStringView text(m_text);

    std::vector<int32_t> open; // the chain of open elements, innermost last
    auto markIllFormed = [this] { m_elements[0].flags |= IllFormed; };
    auto closeNotEnded = [&](size_t first) {
        for (size_t i = first; i < open.size(); ++i) {
            const int32_t element = open[i];
            m_result.add(u"unended_start_tag", {{u"tagname", elementName(element).toString()},
                                                {u"offset", offsetText(m_starts[element])}});
        }
        closeAsNotEnded(open, first);
        open.resize(first);
        markIllFormed();
    };

    qsizetype pos = 0;
    for (;;) {
        const XmlToken token = NextXmlToken(text, pos);
        if (token.kind == XmlNodeKind::End)
            break;
        pos = token.end();
        switch (token.kind) {
        case XmlNodeKind::StartTag: {
            const int32_t element = newElement();
            m_starts[element] = int32_t(token.start);
            Element &e = m_elements[element];
            e.startTagLength = int32_t(token.length);
            linkLastChild(open.empty() ? 0 : open.back(), element);
            if (token.isEmptyElement)
                m_elements[element].length = int32_t(token.length);
            else
                open.push_back(element);
            break;
        }
        case XmlNodeKind::EndTag: {
            const QStringView name = text.sliced(token.nameStart, token.nameLength);
            qsizetype match = qsizetype(open.size()) - 1;
            while (match >= 0 && elementName(open[match]) != name)
                --match;
            if (match < 0) {
                m_result.add(u"lone_end_tag",
                             {{u"tagname", name.toString()}, {u"offset", offsetText(token.start)}});
                markIllFormed();
                break;
            }
            if (qsizetype(open.size()) - 1 > match)
                closeNotEnded(size_t(match) + 1);
            Element &e = m_elements[open.back()];
            e.length = int32_t(token.end() - m_starts[open.back()]);
            e.endTagLength = int32_t(token.length);
            open.pop_back();
            break;
        }
        case XmlNodeKind::Error:
            if (token.unterminatedType)
                m_result.add(token.errorName,
                             {{u"type", QString::fromUtf16(token.unterminatedType)},
                              {u"offset", offsetText(token.start)}});
            else
                m_result.add(token.errorName, {{u"offset", offsetText(token.start)}});
            markIllFormed();
            if (!open.empty())
                m_elements[open.back()].flags |= IllData;
            break;
        default:
            break; // text, white space, comments and the like lie between elements
        }
    }
    if (!open.empty())
        closeNotEnded(0);

    const int32_t root = m_elements[0].firstChild;
    if (!root)
        m_result.add(u"no_root_element");
    else if (m_elements[root].nextSibling)
        m_result.add(u"root_has_sibling",
                     {{u"offset", offsetText(m_starts[m_elements[root].nextSibling])}});
}

bool CXmlDocument::SetDocumentText(QStringView text)
{
    m_result.clear();
    m_codePage = 0;
    m_undecodable = 0;
    if (text.size() > kMaxDocumentLength) {
        m_text.clear();
        clearIndex();
        m_result.add(u"truncation_error", {{u"length", QString::number(text.size())}});
        m_elements[0].flags |= IllFormed;
        return false;
    }
    m_text = text.toString();
    if (m_text.isEmpty())
        m_text.squeeze();
    parse();
    return CheckWellFormed();
}

bool CXmlDocument::CheckWellFormed() const
{
    const int32_t root = m_elements[0].firstChild;
    return !(m_elements[0].flags & IllFormed) && root && !m_elements[root].nextSibling;
}

// ---------------------------------------------------------------- files

bool CXmlDocument::LoadFile(const QString &path)
{
    m_text.clear();
    m_bom = ByteOrderMark::None;
    m_codePage = 0;
    m_undecodable = 0;
    m_result.clear();
    clearIndex();

    const kw::Result<QByteArray> bytes = kw::ReadXmlFileBytes(path, m_result);
    if (!bytes)
        return false;
    kw::DecodedXmlFile decoded = kw::DecodeXmlFile(*bytes, m_result);
    if (decoded.text.size() > kMaxDocumentLength) {
        m_result.add(u"truncation_error", {{u"length", QString::number(decoded.text.size())}});
        return false;
    }
    m_text = std::move(decoded.text);
    m_bom = decoded.bom;
    m_codePage = decoded.codePage;
    m_undecodable = decoded.undecodable;
    parse();
    return CheckWellFormed();
}

kw::Result<QByteArray> CXmlDocument::encodeForSave(const QString &path, kw::XmlResultLog &log) const
{
    if (m_undecodable > 0)
        return kw::Failure{
            QStringLiteral("cannot save \"%1\": %2 of the bytes it was read from could not be "
                           "decoded in its encoding and show as \"?\"; saving would write "
                           "\"?\" in their place")
                .arg(path, QString::number(m_undecodable))};
    kw::Result<QByteArray> bytes = kw::EncodeXmlFile(m_text, m_bom, m_codePage, log);
    if (!bytes)
        return kw::Failure{QStringLiteral("cannot save \"%1\": %2").arg(path, bytes.error())};
    return bytes;
}

kw::Status CXmlDocument::SaveFile(const QString &path)
{
    const kw::Result<QByteArray> bytes = encodeForSave(path, m_result);
    if (!bytes)
        return kw::Failure{bytes.error()};
    return kw::WriteXmlFileBytes(path, *bytes, m_result);
}

kw::Status CXmlDocument::CheckSave(const QString &path) const
{
    kw::XmlResultLog log;
    const kw::Result<QByteArray> bytes = encodeForSave(path, log);
    if (!bytes)
        return kw::Failure{bytes.error()};
    return {};
}

// ---------------------------------------------------------------- navigation

bool CXmlDocument::FindElement(QStringView name)
{
    if (name.startsWith(u'/'))
        return false;
    int32_t element =
        m_current ? m_elements[m_current].nextSibling : m_elements[m_parent].firstChild;
    for (; element; element = m_elements[element].nextSibling) {
        const QStringView tagName = elementName(element);
        bool matches = name.isEmpty() || name == tagName;
        if (!matches && name.size() > tagName.size() && name.startsWith(tagName)) {
            const char16_t after = name[tagName.size()].unicode();
            matches =
                after == u' ' || after == u'/' || after == u'=' || after == u'[' || after == u']';
        }
        if (matches) {
            m_current = element;
            m_rememberedChild = 0;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::EnterElement()
{
    if (!m_current)
        return false;
    m_parent = m_current;
    m_current = m_rememberedChild;
    m_rememberedChild = 0;
    return true;
}

bool CXmlDocument::LeaveElement()
{
    if (!m_parent)
        return false;
    m_rememberedChild = m_current;
    m_current = m_parent;
    m_parent = m_elements[m_parent].parent;
    return true;
}

QString CXmlDocument::GetElementName() const
{
    return elementName(m_current).toString();
}

QString CXmlDocument::GetElementText() const
{
    if (!m_current || isEmptyElement(m_current) || m_elements[m_current].firstChild)
        return {};
    const Element &e = m_elements[m_current];
    const qsizetype contentStart = m_starts[m_current] + e.startTagLength;
    const qsizetype contentLength = e.length - e.startTagLength - e.endTagLength;
    if (contentLength <= 0)
        return {};
    const QStringView content = QStringView(m_text).sliced(contentStart, contentLength);
    if (!content.contains(u'<'))
        return UnescapeText(content);

    QString text;
    for (qsizetype pos = 0;;) {
        const XmlToken token = NextXmlToken(content, pos);
        if (token.kind == XmlNodeKind::End)
            break;
        pos = token.end();
        if (token.kind == XmlNodeKind::Text) {
            text += UnescapeText(content.sliced(token.start, token.length));
        } else if (token.kind == XmlNodeKind::CharacterSection) {
            constexpr qsizetype kOpen = 9;  // "<![CDATA["
            constexpr qsizetype kClose = 3; // "]]>"
            if (token.length >= kOpen + kClose)
                text += content.sliced(token.start + kOpen, token.length - kOpen - kClose);
        }
    }
    return text;
}

// ---------------------------------------------------------------- editing

void CXmlDocument::spliceText(qsizetype pos, qsizetype removed, QStringView inserted)
{
    m_text.replace(pos, removed, inserted.data(), inserted.size());
    const int32_t delta = int32_t(inserted.size() - removed);
    const int32_t threshold = int32_t(pos + removed);
    m_elements[0].length = int32_t(m_text.size());
    int32_t *starts = m_starts.data();
    const size_t count = m_starts.size();
    for (size_t i = 1; i < count; ++i)
        starts[i] += starts[i] >= threshold ? delta : 0;
}

void CXmlDocument::growEnclosing(int32_t element, qsizetype delta)
{
    for (; element > 0; element = m_elements[element].parent)
        m_elements[element].length += int32_t(delta);
}

qsizetype CXmlDocument::openEmptyElement(int32_t element, QStringView content)
{
    const qsizetype start = m_starts[element];
    const qsizetype tagEnd = start + m_elements[element].startTagLength;
    const QString name = elementName(element).toString();
    // Every "/" before the ">" goes, so "<a//>" cannot read as "/>" again.
    qsizetype slashes = tagEnd - 1;
    while (slashes - 1 > start && m_text[slashes - 1] == u'/')
        --slashes;
    const bool slashForm = slashes < tagEnd - 1;
    const qsizetype from = slashForm ? slashes : tagEnd;
    const qsizetype removed = tagEnd - from;
    const QString inserted = concat({slashForm ? u">" : u"", content, u"</", name, u">"});
    spliceText(from, removed, inserted);
    growEnclosing(element, inserted.size() - removed);
    const qsizetype contentStart = from + (slashForm ? 1 : 0);
    Element &e = m_elements[element];
    e.startTagLength = int32_t(contentStart - start);
    e.endTagLength = int32_t(name.size() + 3);
    return contentStart;
}

bool CXmlDocument::SetElementText(int value)
{
    return SetElementText(QString::number(value));
}

bool CXmlDocument::SetElementText(QStringView text)
{
    if (!m_current || m_elements[m_current].firstChild)
        return false;
    const QString escaped = EscapeText(text);
    if (m_text.size() + escaped.size() > kMaxDocumentLength)
        return false;
    const int32_t element = m_current;
    const qsizetype start = m_starts[element];
    const qsizetype tagEnd = start + m_elements[element].startTagLength;

    if (isEmptyElement(element)) {
        if (!escaped.isEmpty())
            openEmptyElement(element, escaped);
    } else {
        const Element &e = m_elements[element];
        const qsizetype contentStart = tagEnd;
        const qsizetype contentLength = e.length - e.startTagLength - e.endTagLength;
        spliceText(contentStart, contentLength, escaped);
        growEnclosing(element, escaped.size() - contentLength);
    }
    m_elements[element].flags &= ~uint32_t(IllData);
    return true;
}

bool CXmlDocument::AddElement(QStringView name, int value)
{
    return addElementNode(name, QString::number(value));
}

bool CXmlDocument::AddElement(QStringView name, QStringView text)
{
    return addElementNode(name, EscapeText(text));
}

bool CXmlDocument::addElementNode(QStringView name, const QString &escapedText)
{
    if (!isUsableElementName(name))
        return false;
    const QString node = escapedText.isEmpty()
                             ? concat({u"<", name, u"/>"})
                             : concat({u"<", name, u">", escapedText, u"</", name, u">"});
    if (m_text.size() + node.size() + 2 * name.size() + 16 > kMaxDocumentLength)
        return false;

    qsizetype nodePos = 0;
    if (m_current) {
        // After the current element and the white space that follows it.
        qsizetype pos = m_starts[m_current] + m_elements[m_current].length;
        qsizetype after = pos;
        while (after < m_text.size() && IsXmlWhiteSpace(m_text[after].unicode()))
            ++after;
        if (after == m_text.size() || m_text[after] == u'<')
            pos = after;
        const QString inserted = node + kLineBreak;
        spliceText(pos, 0, inserted);
        growEnclosing(m_parent, inserted.size());
        nodePos = pos;
    } else if (m_parent) {
        const int32_t parent = m_parent;
        const qsizetype start = m_starts[parent];
        if (isEmptyElement(parent)) {
            // "<p/>" is split into "<p>", the new line and "</p>".
            nodePos = openEmptyElement(parent, concat({kLineBreak, node, kLineBreak})) +
                      kLineBreak.size();
        } else {
            const Element &p = m_elements[parent];
            const qsizetype endTagStart = start + p.length - p.endTagLength;
            const bool nothingBetween = p.length == p.startTagLength + p.endTagLength;
            const QString inserted = concat({nothingBetween ? u"\r\n" : u"", node, kLineBreak});
            spliceText(endTagStart, 0, inserted);
            growEnclosing(parent, inserted.size());
            nodePos = endTagStart + (nothingBetween ? kLineBreak.size() : 0);
        }
    } else {
        nodePos = m_text.size();
        spliceText(nodePos, 0, QString(node + kLineBreak));
    }

    const int32_t element = newElement();
    m_starts[element] = int32_t(nodePos);
    Element &e = m_elements[element];
    e.length = int32_t(node.size());
    e.startTagLength = int32_t(escapedText.isEmpty() ? node.size() : name.size() + 2);
    e.endTagLength = int32_t(escapedText.isEmpty() ? 0 : name.size() + 3);
    if (m_current)
        linkAfter(m_current, element);
    else
        linkLastChild(m_parent, element);
    m_current = element;
    m_rememberedChild = 0;
    return true;
}

bool CXmlDocument::RemoveElement()
{
    if (!m_current)
        return false;
    const int32_t element = m_current;
    const qsizetype start = m_starts[element];
    qsizetype end = start + m_elements[element].length;
    // The element's line goes with it when only white space follows.
    qsizetype after = end;
    while (after < m_text.size() && IsXmlWhiteSpace(m_text[after].unicode()))
        ++after;
    if (after == m_text.size() || m_text[after] == u'<')
        end = after;

    const int32_t parent = m_elements[element].parent;
    const int32_t previous =
        m_elements[parent].firstChild == element ? 0 : m_elements[element].previousSibling;
    unlink(element);
    freeSubtree(element);
    spliceText(start, end - start, {});
    growEnclosing(parent, -(end - start));
    m_current = previous;
    m_rememberedChild = 0;
    return true;
}
