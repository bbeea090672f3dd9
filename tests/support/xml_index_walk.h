#pragma once

#include "xml/xml_document.h"

#include <QString>

using kw::CXmlDocument;

namespace kw::test {

// Describes a document's element index in document order: one line per
// element with its depth, name and text. Two documents whose descriptions are
// equal have the same index. Walks a copy, so the document's position stays.
inline QString DescribeXmlIndex(const CXmlDocument &document)
{
    CXmlDocument doc = document;
    doc.ResetPosition();
    QString out;
    int depth = 0;
    for (;;) {
        if (doc.FindElement(u"")) {
            out += QString::number(depth) + u' ' + doc.GetElementName() + u'=' +
                   doc.GetElementText() + u'\n';
            doc.EnterElement();
            ++depth;
            continue;
        }
        if (!doc.LeaveElement())
            break;
        --depth;
    }
    return out;
}

// The index after edits must equal the one a fresh parse of the text builds.
inline bool IndexMatchesText(const CXmlDocument &doc)
{
    CXmlDocument fresh;
    fresh.SetDocumentText(doc.GetDocumentText());
    return DescribeXmlIndex(fresh) == DescribeXmlIndex(doc);
}

} // namespace kw::test
