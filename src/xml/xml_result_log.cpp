#include "xml/xml_result_log.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

void AppendXmlEscaped(QString &out, QStringView text, bool escapeQuotes)
{
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            if (escapeQuotes) {
                out += u"&quot;";
                break;
            }
            [[fallthrough]];
        default:
            out += c;
        }
    }
}

namespace {
constexpr qsizetype kMaxReportLength = 1000;

} // namespace

void XmlResultLog::add(QStringView event, std::initializer_list<Attribute> attributes)
{
    if (m_text.size() >= kMaxReportLength)
        return;
    m_text += u'<';
    m_text += event;
    for (const auto &[name, value] : attributes) {
        m_text += u' ';
        m_text += name;
        m_text += u"=\"";
        AppendXmlEscaped(m_text, value, true);
        m_text += u'"';
    }
    m_text += u"/>";
}

bool XmlResultLog::contains(QStringView event) const
{
    const QString needle = u'<' + event.toString();
    qsizetype from = 0;
    while ((from = m_text.indexOf(needle, from)) >= 0) {
        const qsizetype after = from + needle.size();
        if (after < m_text.size() && (m_text[after] == u' ' || m_text[after] == u'/'))
            return true;
        from = after;
    }
    return false;
}

QString XmlLogProblem(QStringView log)
{
    // Events that note what was done rather than what went wrong.
    static const QStringView notes[] = {u"read",          u"write",         u"bom",
                                        u"nulls_removed", u"endian_swap",   u"utf8_detection",
                                        u"converted_to",  u"converted_from"};
    const auto attribute = [](QStringView element, QStringView name) {
        const QString key = u' ' + name.toString() + u"=\""_s;
        const qsizetype at = element.indexOf(key);
        if (at < 0)
            return QString();
        const qsizetype from = at + key.size();
        const qsizetype to = element.indexOf(u'"', from);
        QString value = element.mid(from, to - from).toString();
        value.replace(u"&quot;"_s, u"\""_s).replace(u"&lt;"_s, u"<"_s);
        value.replace(u"&gt;"_s, u">"_s).replace(u"&amp;"_s, u"&"_s);
        return value;
    };
    for (qsizetype at = log.indexOf(u'<'); at >= 0; at = log.indexOf(u'<', at + 1)) {
        const qsizetype end = log.indexOf(u"/>", at);
        if (end < 0)
            break;
        const QStringView element = log.mid(at, end - at);
        const qsizetype nameEnd = element.indexOf(u' ');
        const QStringView event = element.mid(1, nameEnd < 0 ? -1 : nameEnd - 1);
        if (std::find(std::begin(notes), std::end(notes), event) != std::end(notes))
            continue;
        if (event == u"file_error") {
            QString message = attribute(element, u"msg");
            if (message.size() > 1 && message.at(0).isUpper() && message.at(1).isLower())
                message[0] = message.at(0).toLower();
            return u"cannot read: "_s + message;
        }
        QString text = event.toString().replace(u'_', u' ');
        if (const QString tag = attribute(element, u"tagname"); !tag.isEmpty())
            text += u" <"_s + tag + u'>';
        if (const QString offset = attribute(element, u"offset"); !offset.isEmpty())
            text += u" at byte "_s + offset;
        return text;
    }
    return {};
}

} // namespace kw
