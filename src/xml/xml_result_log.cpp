#include "xml/xml_result_log.h"

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

} // namespace kw
