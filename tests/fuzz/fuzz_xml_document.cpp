// Parses arbitrary text, then navigates, reads and edits it as the input's
// tail directs. For a document that started well-formed, the index must still
// describe the edited text exactly.
#include "xml/xml_document.h"

#include "support/xml_index_walk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using kw::CXmlDocument;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Text first, then a zero byte, then one operation per byte.
    const auto *split = static_cast<const uint8_t *>(std::memchr(data, 0, size));
    const size_t textSize = split ? size_t(split - data) : size;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(textSize));

    CXmlDocument doc;
    const bool wellFormed = doc.SetDocumentText(text);
    static const char16_t *const names[] = {u"a", u"b", u"r", u"", u"x y"};
    static const char16_t *const texts[] = {u"", u"t", u"<&>", u"]]>", u"\r\n"};
    for (size_t i = textSize + 1; i < size; ++i) {
        const uint8_t op = data[i];
        const char16_t *name = names[(op >> 4) % 5];
        const char16_t *value = texts[(op >> 4) % 5];
        switch (op & 0x0F) {
        case 0:
            doc.FindElement(name);
            break;
        case 1:
            doc.EnterElement();
            break;
        case 2:
            doc.LeaveElement();
            break;
        case 3:
            if (*name && name[1] != u' ')
                doc.AddElement(name, value);
            break;
        case 4:
            doc.SetElementText(value);
            break;
        case 5:
            doc.RemoveElement();
            break;
        case 6:
            (void)doc.GetElementText();
            break;
        case 7:
            doc.SetElementText(int(op) - 128);
            break;
        case 8:
            (void)doc.CheckWellFormed();
            break;
        default:
            doc.FindElement(u"");
        }
    }
    (void)CXmlDocument::UnescapeText(text);
    if (wellFormed && !kw::test::IndexMatchesText(doc))
        std::abort();
    return 0;
}
