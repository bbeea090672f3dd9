#pragma once

#include "platform/result.h"
#include "xml/xml_document.h"
#include "xml/xml_result_log.h"

#include <QByteArray>
#include <QString>

// The byte side of XML files: how a file's bytes become document text and
// back. Every step is reported in the document's result log. Stateless; safe
// to call from any thread.
//
// Reading: a byte-order mark names the encoding (UTF-8, UTF-16LE, UTF-16BE).
// Without one, the encoding is the one the XML declaration or an HTML meta
// tag names; with no declaration, or one naming an encoding we do not know
// (or UTF-16/UTF-32, which a file of single bytes cannot be), it is UTF-8
// when the bytes are UTF-8 and the ANSI code page (Windows-1252) otherwise.
// A file without a mark that is read as UTF-8 but holds bytes that are not
// UTF-8 was written by a program working in the ANSI code page: it is read in
// the ANSI code page instead, which decodes every byte.
//
// Writing: the text goes back in the encoding it was read in, so an in-place
// save changes only the text that changed. Text built in memory is written
// in the encoding its declaration names, or UTF-8 (also for an unknown name,
// which then reads back by the same rule). Text that would not read back the
// same from the written bytes is refused, never written with '?'.
namespace kw {

struct DecodedXmlFile
{
    QString text;
    CXmlDocument::ByteOrderMark bom = CXmlDocument::ByteOrderMark::None;
    // Without a mark: the code page the bytes were read in.
    int codePage = 0;
    // Bytes that did not decode and became '?' (possible only with a mark or
    // a declared encoding other than UTF-8; the odd last byte of a UTF-16
    // file counts as one).
    int undecodable = 0;
};

// Reads a whole file; "file_error" in the log and the reason when it cannot.
Result<QByteArray> ReadXmlFileBytes(const QString &path, XmlResultLog &log);
// Writes through a temporary file renamed over the target, so a failed write
// leaves any old file whole; "file_error" in the log and the reason when it
// cannot.
Status WriteXmlFileBytes(const QString &path, const QByteArray &bytes, XmlResultLog &log);

DecodedXmlFile DecodeXmlFile(QByteArrayView bytes, XmlResultLog &log);

// The bytes of `text` with the mark `bom`; without a mark in `codePage`, the
// code page the text was read in, or for 0 the code page its declaration
// names (UTF-8 when it names none, an unknown one, UTF-16 or UTF-32). Fails,
// with a reason naming the first character concerned, when the bytes would
// not decode back to `text` (a character the encoding cannot hold,
// "conversion_loss" in the log).
Result<QByteArray> EncodeXmlFile(QStringView text, CXmlDocument::ByteOrderMark bom, int codePage,
                                 XmlResultLog &log);

// The encoding named by the XML declaration at the very start of the text, or
// by the Content-Type meta tag of an HTML document; empty when there is none.
QString FindDeclaredEncoding(QStringView text);

} // namespace kw
