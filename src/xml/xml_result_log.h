#pragma once

#include <QString>
#include <QStringView>

#include <initializer_list>
#include <utility>

namespace kw {

// Appends `text` with "&", "<" and ">" written as entity references, and with
// '"' as "&quot;" too when `escapeQuotes` is set (attribute values).
void AppendXmlEscaped(QString &out, QStringView text, bool escapeQuotes);

// The report of the last load, parse or save of an XML document: one empty
// element per event, named after it, with its details as attributes, e.g.
// <unended_start_tag tagname="a" offset="12"/>. Nothing in the program depends
// on it; it exists for diagnostics. Events stop being added once the report
// holds 1000 characters, so a badly broken file cannot make it grow without end.
// The first problem a report's text holds, as words on one line: "cannot
// read: no such file or directory", "unended start tag <Templates> at byte
// 22"; empty when it holds none (only notes on reading or converting).
QString XmlLogProblem(QStringView log);

class XmlResultLog
{
public:
    using Attribute = std::pair<QStringView, QString>;

    void clear() { m_text.clear(); }
    void add(QStringView event, std::initializer_list<Attribute> attributes = {});
    const QString &text() const { return m_text; }
    bool contains(QStringView event) const;

private:
    QString m_text;
};

} // namespace kw
