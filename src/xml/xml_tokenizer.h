#pragma once

#include <QStringView>

// Cuts XML text into nodes. Each node starts where the previous one ended, so
// walking the tokens from offset 0 covers every character exactly once. The
// tokenizer never fails: text it cannot read becomes an error node that names
// the fault.
namespace kw {

enum class XmlNodeKind {
    WhiteSpace,            // TAB, LF, CR and blank only, up to "<" or the end
    Text,                  // anything else up to the next "<"
    StartTag,              // "<name ...>" or "<name .../>"
    EndTag,                // "</name>"
    ProcessingInstruction, // "<?...?>"
    Comment,               // "<!--...-->"
    CharacterSection,      // "<![C...]]>"
    DocumentType,          // "<!D...>" with its internal declarations
    Error,                 // a tag that cannot be read; see errorName
    End,                   // the end of the text
};

struct XmlToken
{
    XmlNodeKind kind = XmlNodeKind::End;
    qsizetype start = 0;
    qsizetype length = 0;
    // Start and end tags: the tag name's offset and length in the text.
    qsizetype nameStart = 0;
    qsizetype nameLength = 0;
    // Start tags written with "/>".
    bool isEmptyElement = false;
    // Error nodes: the error name ("first_tag_syntax", "unterminated_tag_syntax"
    // ...) and, for unterminated tags, the kind of tag ("start_tag", "comment" ...).
    const char16_t *errorName = nullptr;
    const char16_t *unterminatedType = nullptr;

    qsizetype end() const { return start + length; }
};

// The node that starts at offset `from` of `text`.
XmlToken NextXmlToken(QStringView text, qsizetype from);

// Tab, line feed, carriage return and blank: the only white space in XML text.
constexpr bool IsXmlWhiteSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The value of attribute `name` inside a start tag or processing instruction
// (the whole tag text, "<" to ">"), quotes removed. Attribute names compare
// without case when caseSensitive is false. Returns false when absent.
bool FindXmlTagAttribute(QStringView tag, QStringView name, Qt::CaseSensitivity cs,
                         QStringView *value);

} // namespace kw
