#pragma once

#include "platform/result.h"
#include "xml/xml_result_log.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// An XML document held as one piece of text, exactly as it will be written,
// plus an index of where each element lies in that text. Navigation moves a
// current position over the index; every edit splices the text and shifts the
// index; saving writes the text. A document that was loaded and changed in a
// few places is written back unchanged everywhere else: white space, comments,
// unknown elements and line breaks survive.
//
// Element names compare with case. Element text is returned exactly as stored
// (no trimming). Not thread-safe: one document belongs to one thread at a time;
// separate documents share nothing.
class CXmlDocument
{
public:
    // Byte-order mark of the file a document was loaded from; written again
    // when it is saved. A document built in memory has none.
    enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };

    CXmlDocument() = default;

    // Replaces the whole document, parses it and moves to the document level.
    // Returns whether the new document is well-formed. The new text is
    // written in the encoding its declaration names (the byte-order mark of a
    // loaded file is kept).
    bool SetDocumentText(QStringView text);
    const QString &GetDocumentText() const { return m_text; }

    // Reads and decodes a file (byte-order mark, declared encoding, UTF-8
    // detection or the ANSI code page; see xml_file_codec.h) and parses it. True only when the file
    // was read and is well-formed; a file that was read but is not well-formed stays loaded so what
    // was recognised can still be navigated.
    bool LoadFile(const QString &path);
    // Writes the text in the encoding it was read in (the remembered
    // byte-order mark's, else the code page of the loaded file), and text set
    // with SetDocumentText in the encoding its declaration names, else UTF-8;
    // through a temporary file renamed over the target, so a failed save
    // leaves the old file whole. Refuses, writing nothing, text that would
    // not read back the same: a character the encoding cannot hold, or bytes
    // of the loaded file that did not decode and would be written as '?'.
    // The reason names the file and the character.
    kw::Status SaveFile(const QString &path);
    // The refusal SaveFile would give for the present text, without writing.
    kw::Status CheckSave(const QString &path) const;

    // Searches the children of the parent position after the current element
    // (or from the first child) for `name`; on success it becomes current, on
    // failure nothing moves. A name followed by a blank, "/", "=", "[" or "]"
    // and more characters matches too; an empty name matches any element; a
    // name starting with "/" matches nothing.
    bool FindElement(QStringView name);
    // Moves to the document level, before its first element.
    void ResetPosition() { m_parent = m_current = m_rememberedChild = 0; }
    // Makes the current element the parent position.
    bool EnterElement();
    // Makes the parent position the current element.
    bool LeaveElement();

    // Unescaped text of the current element; empty for an element written with
    // "/>", one holding child elements, or when there is no current element.
    QString GetElementText() const;
    // Replaces the content of the current element, which must have no child
    // elements, with the escaped text or the integer in signed decimal.
    bool SetElementText(QStringView text);
    bool SetElementText(int value);
    // Inserts a new element after the current one (or as last child of the
    // parent position), on a line of its own, and makes it current. A name
    // that would not read back as one element name (empty, or holding white
    // space, "<", ">", "/", "&", "=" or a quote) is refused.
    bool AddElement(QStringView name, QStringView text = {});
    bool AddElement(QStringView name, int value);
    // Deletes the current element and its content (with its line when only
    // white space follows it); its previous sibling becomes current.
    bool RemoveElement();

    // Exactly one top-level element and no parse error.
    bool CheckWellFormed() const;

    // Tag name of the current element; empty when there is none.
    QString GetElementName() const;
    // Report of the last load, parse or save.
    const QString &GetResult() const { return m_result.text(); }
    ByteOrderMark GetByteOrderMark() const { return m_bom; }

    // Element-text escaping: "&", "<" and ">" become entity references.
    static QString EscapeText(QStringView text);
    // Resolves character and entity references; anything that is not a
    // complete reference is kept as written.
    static QString UnescapeText(QStringView text);

private:
    struct Element
    {
        int32_t length = 0;         // "<" through the end tag or "/>"
        int32_t startTagLength = 0; // "<" through ">"
        int32_t endTagLength = 0;   // 0 for an element written with "/>"
        uint32_t flags = 0;
        int32_t parent = 0;
        int32_t firstChild = 0;
        int32_t nextSibling = 0;
        int32_t previousSibling = 0; // for the first child: the last child
    };
    enum Flag : uint32_t { NotEnded = 1u << 0, IllData = 1u << 1, IllFormed = 1u << 2 };

    void parse();
    void clearIndex();
    int32_t newElement();
    void freeSubtree(int32_t element);
    void linkLastChild(int32_t parent, int32_t element);
    void linkAfter(int32_t sibling, int32_t element);
    void unlink(int32_t element);
    void closeAsNotEnded(const std::vector<int32_t> &open, size_t first);
    bool isEmptyElement(int32_t element) const;
    QStringView elementName(int32_t element) const;
    int32_t lastChild(int32_t parent) const;
    // Replaces text[pos, pos + removed) with `inserted` and shifts the start of
    // every element after it; lengths of the elements that hold the edit are
    // the caller's to fix (growEnclosing does it for an edit inside `element`).
    void spliceText(qsizetype pos, qsizetype removed, QStringView inserted);
    void growEnclosing(int32_t element, qsizetype delta);
    bool addElementNode(QStringView name, const QString &escapedText);
    kw::Result<QByteArray> encodeForSave(const QString &path, kw::XmlResultLog &log) const;
    // Turns an element without content ("<a/>", or a start tag whose end tag
    // never came) into start tag, content and end tag; returns where the
    // content starts.
    qsizetype openEmptyElement(int32_t element, QStringView content);

    QString m_text;
    kw::XmlResultLog m_result;
    ByteOrderMark m_bom = ByteOrderMark::None;
    // The code page a file without a mark was read in; 0 for text that was
    // set, whose declaration decides.
    int m_codePage = 0;
    // Bytes of the loaded file that did not decode and became '?'.
    int m_undecodable = 0;

    // Element 0 stands for the document. Starts are kept apart from the other
    // fields so shifting them after an edit is one tight loop.
    std::vector<int32_t> m_starts{0};
    std::vector<Element> m_elements{Element{}};
    std::vector<int32_t> m_freeElements;

    int32_t m_parent = 0;
    int32_t m_current = 0;
    int32_t m_rememberedChild = 0;
};
