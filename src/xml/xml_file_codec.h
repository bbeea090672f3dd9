#pragma once

#include "xml/xml_document.h"
#include "xml/xml_result_log.h"

#include <QByteArray>
#include <QString>

// The byte side of XML files: how a file's bytes become document text and
// back. Byte-order marks are recognised and remembered; otherwise the
// encoding comes from the XML declaration, an HTML meta tag, UTF-8 detection
// or, failing all, the system ANSI code page. Every step is reported in the
// document's result log. Stateless; safe to call from any thread.
namespace kw {

struct DecodedXmlFile
{
    QString text;
    CXmlDocument::ByteOrderMark bom = CXmlDocument::ByteOrderMark::None;
};

// Reads a whole file; "file_error" with the reason when it cannot.
bool ReadXmlFileBytes(const QString &path, QByteArray *bytes, XmlResultLog &log);
// Writes through a temporary file renamed over the target, so a failed write
// leaves any old file whole; "file_error" with the reason when it cannot.
bool WriteXmlFileBytes(const QString &path, const QByteArray &bytes, XmlResultLog &log);

DecodedXmlFile DecodeXmlFile(QByteArrayView bytes, XmlResultLog &log);
QByteArray EncodeXmlFile(QStringView text, CXmlDocument::ByteOrderMark bom, XmlResultLog &log);

// The encoding named by the XML declaration at the very start of the text, or
// by the Content-Type meta tag of an HTML document; empty when there is none.
QString FindDeclaredEncoding(QStringView text);

} // namespace kw
