// Decodes arbitrary file bytes as the document loader does, parses the text
// and encodes it back. A file with a UTF-16 mark, and a file read as UTF-8 or
// in the ANSI code page, must come back byte for byte; any text that encodes
// must read back as itself.
#include "platform/code_pages.h"
#include "xml/xml_document.h"
#include "xml/xml_file_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    kw::XmlResultLog log;
    const kw::DecodedXmlFile decoded = kw::DecodeXmlFile(bytes, log);

    CXmlDocument doc;
    doc.SetDocumentText(decoded.text);
    (void)doc.FindElement(u"");
    (void)doc.GetElementText();

    const kw::Result<QByteArray> encoded =
        kw::EncodeXmlFile(decoded.text, decoded.bom, decoded.codePage, log);
    if (encoded) {
        kw::XmlResultLog readBack;
        if (kw::DecodeXmlFile(*encoded, readBack).text != decoded.text)
            std::abort();
    }
    const bool utf16 = decoded.bom == CXmlDocument::ByteOrderMark::Utf16LE ||
                       decoded.bom == CXmlDocument::ByteOrderMark::Utf16BE;
    if (utf16 && size % 2 == 0) {
        bool zeroUnit = false;
        for (size_t i = 2; i + 1 < size; i += 2)
            zeroUnit |= data[i] == 0 && data[i + 1] == 0;
        if (!zeroUnit && size > 2 && (!encoded || *encoded != bytes))
            std::abort();
    }
    const bool exactPage =
        decoded.codePage == kw::kCodePageUtf8 || decoded.codePage == kw::kSystemAnsiCodePage;
    if (decoded.bom == CXmlDocument::ByteOrderMark::None && exactPage && !bytes.contains('\0') &&
        (!encoded || *encoded != bytes))
        std::abort();
    return 0;
}
