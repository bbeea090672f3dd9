// Decodes arbitrary file bytes as the document loader does, parses the text
// and encodes it back. A file with a UTF-16 mark must come back byte for byte.
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

    const QByteArray encoded = kw::EncodeXmlFile(decoded.text, decoded.bom, log);
    const bool utf16 = decoded.bom == CXmlDocument::ByteOrderMark::Utf16LE ||
                       decoded.bom == CXmlDocument::ByteOrderMark::Utf16BE;
    if (utf16 && size % 2 == 0) {
        bool zeroUnit = false;
        for (size_t i = 2; i + 1 < size; i += 2)
            zeroUnit |= data[i] == 0 && data[i + 1] == 0;
        if (!zeroUnit && size > 2 && encoded != bytes)
            std::abort();
    }
    return 0;
}
