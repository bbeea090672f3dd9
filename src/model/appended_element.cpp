#include "model/appended_element.h"

#include "xml/xml_document.h"

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// The line break the file already uses (its first one); CR LF, as the model
// writes, when it has none.
QStringView fileLineBreak(const QString &text)
{
    const qsizetype lf = text.indexOf(u'\n');
    if (lf < 0)
        return text.contains(u'\r') ? QStringView(u"\r") : QStringView(u"\r\n");
    return lf > 0 && text.at(lf - 1) == u'\r' ? QStringView(u"\r\n") : QStringView(u"\n");
}

} // namespace

bool AppendElementKeepingLineBreaks(CXmlDocument &doc, QStringView name, QStringView text)
{
    while (doc.FindElement(u"")) {
        // to the last child, so the new element comes after every other one
    }
    const QString before = doc.GetDocumentText();
    if (!doc.AddElement(name, text))
        return false;
    // The document's own insertion always writes CR LF.
    const QStringView lineBreak = fileLineBreak(before);
    if (lineBreak == u"\r\n") {
        doc.ResetPosition();
        return true;
    }
    const QString &after = doc.GetDocumentText();
    qsizetype at = 0;
    while (at < before.size() && before.at(at) == after.at(at))
        ++at;
    QString inserted = after.mid(at, after.size() - before.size());
    inserted.replace(u"\r\n"_s, lineBreak.toString());
    if (!doc.SetDocumentText(QString(before.left(at) + inserted + before.mid(at))))
        return false;
    doc.ResetPosition();
    return true;
}

} // namespace kw
