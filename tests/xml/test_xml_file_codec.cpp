#include "xml/xml_document.h"
#include "xml/xml_file_codec.h"

#include "support/test_sandbox.h"

#include <gtest/gtest.h>

#include <QDir>

#include <csignal>
#include <iconv.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;
using Bom = CXmlDocument::ByteOrderMark;

// Bytes of UTF-8 text in another encoding, made by the system's iconv so the
// expectation does not come from the code under test.
QByteArray systemIconv(const char *toCode, const QByteArray &utf8)
{
    iconv_t cd = iconv_open(toCode, "UTF-8");
    if (cd == iconv_t(-1))
        return {};
    QByteArray in = utf8;
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *inPtr = in.data();
    char *outPtr = out.data();
    size_t inLeft = size_t(in.size());
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

class XmlFileCodec : public ::testing::Test
{
protected:
    QString path(const char *name) const { return m_sandbox.filePath(QString::fromUtf8(name)); }

    // Loads bytes written to a file; returns the document text.
    QString load(const QByteArray &bytes, bool *wellFormed = nullptr)
    {
        const QString file = path("in.xml");
        EXPECT_TRUE(WriteFileBytes(file, bytes));
        const bool ok = m_doc.LoadFile(file);
        if (wellFormed)
            *wellFormed = ok;
        return m_doc.GetDocumentText();
    }
    QByteArray save()
    {
        const QString file = path("out.xml");
        EXPECT_TRUE(m_doc.SaveFile(file));
        return ReadFileBytes(file);
    }

    kw::test::TestSandbox m_sandbox;
    CXmlDocument m_doc;
};

TEST_F(XmlFileCodec, ByteOrderMarksAreRememberedAndWrittenBack)
{
    const QByteArray utf8Body = QByteArrayLiteral("<r>\xC3\xA9</r>\r\n");
    bool ok = false;
    EXPECT_EQ(load("\xEF\xBB\xBF" + utf8Body, &ok), u"<r>\u00e9</r>\r\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(m_doc.GetByteOrderMark(), Bom::Utf8);
    EXPECT_EQ(save(), "\xEF\xBB\xBF" + utf8Body);

    const QString text = QStringLiteral("<r>\u00e9\u65e5\U0001F600</r>");
    QByteArray le("\xFF\xFE", 2);
    QByteArray be("\xFE\xFF", 2);
    for (QChar c : text) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xFF);
    }
    EXPECT_EQ(load(le, &ok), text);
    EXPECT_TRUE(ok);
    EXPECT_EQ(save(), le);
    EXPECT_EQ(load(be, &ok), text);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(m_doc.GetResult().contains(u"endian_swap"));
    EXPECT_EQ(save(), be);

    CXmlDocument built;
    built.SetDocumentText(u"<r>\u00e9</r>");
    ASSERT_TRUE(built.SaveFile(path("built.xml")));
    EXPECT_EQ(ReadFileBytes(path("built.xml")), "<r>\xC3\xA9</r>");
}

TEST_F(XmlFileCodec, EncodingWithoutMarkComesFromDeclarationDetectionOrAnsi)
{
    // Starts with "<": UTF-8 without asking.
    EXPECT_EQ(load("<r>\xC3\xA9</r>"), u"<r>\u00e9</r>");
    // Does not start with "<": UTF-8 only when the bytes are valid UTF-8 ...
    EXPECT_EQ(load(" <r>\xC3\xA9</r>"), u" <r>\u00e9</r>");
    EXPECT_TRUE(m_doc.GetResult().contains(u"utf8_detection"));
    // ... else the ANSI code page (Windows-1252: 0x80 is the euro sign).
    EXPECT_EQ(load(" <r>\xE9\x80</r>"), u" <r>\u00e9\u20ac</r>");

    const QByteArray cp1252 = systemIconv("CP1252", "<r>caf\xC3\xA9 \xE2\x82\xAC</r>");
    ASSERT_FALSE(cp1252.isEmpty());
    EXPECT_EQ(load("<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + cp1252),
              u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>caf\u00e9 \u20ac</r>");
    EXPECT_EQ(save(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + cp1252);

    const QByteArray sjis = systemIconv("SHIFT_JIS", "<r>\xE6\x97\xA5\xE6\x9C\xAC</r>");
    ASSERT_FALSE(sjis.isEmpty());
    const QByteArray declaration = "<?xml version='1.0' encoding='Shift_JIS' ?>";
    bool ok = false;
    EXPECT_EQ(load(declaration + sjis, &ok),
              QString::fromUtf8(declaration) + u"<r>\u65e5\u672c</r>"_s);
    EXPECT_TRUE(ok);
    EXPECT_EQ(save(), declaration + sjis);
}

TEST_F(XmlFileCodec, HtmlMetaTagNamesTheEncoding)
{
    const QByteArray head =
        "<html><head><meta name=\"x\" content=\"charset=utf-8\">"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1251\">"
        "</head><body>";
    EXPECT_EQ(load(head + "\xC6</body></html>"),
              QString::fromUtf8(head) + u"\u0416</body></html>"_s);
    // After </head> nothing counts: a file starting with "<" is then UTF-8.
    const QByteArray late = "<html><head></head><meta http-equiv='content-type' "
                            "content='text/html;charset=windows-1251'>\xD0\x96</html>";
    EXPECT_TRUE(load(late).contains(u'\u0416'));
}

TEST_F(XmlFileCodec, FindsDeclaredEncodings)
{
    struct Case
    {
        const char16_t *text;
        const char16_t *encoding;
    };
    const Case cases[] = {
        {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", u"UTF-8"},
        {u"<?XML encoding='latin1'?>", u"latin1"},
        {u"<?xml encoding=koi8-r?>", u"koi8-r"},
        {u"<?xml version=\"1.0\"?><html><meta http-equiv=Content-Type content=\"charset=x\">", u""},
        {u" <?xml encoding=\"x\"?>", u""}, // not at offset 0; then not html either
        {u"<root><meta http-equiv=\"Content-Type\" content=\"charset=x\"/></root>", u""},
        {u"<html><meta http-equiv=\"Content-Type\" content=\"a;charset = big5;\"/>", u"big5"},
        {u"<html>< 1<meta http-equiv=\"Content-Type\" content=\"charset=big5\"/>", u""},
        {u"", u""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kw::FindDeclaredEncoding(QString::fromUtf16(c.text)),
                  QString::fromUtf16(c.encoding))
            << QString::fromUtf16(c.text).toStdString();
    }
}

TEST_F(XmlFileCodec, ZeroUnitsAreDropped)
{
    // UTF-16 without a mark, all characters below 128: reads as if ASCII.
    QByteArray wide;
    for (char c : QByteArray("<r>abc</r>")) {
        wide += c;
        wide += '\0';
    }
    bool ok = false;
    EXPECT_EQ(load(wide, &ok), u"<r>abc</r>");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(m_doc.GetResult().contains(u"nulls_removed"));
    EXPECT_EQ(load(QByteArray("\xFF\xFE<\0r\0\0\0/\0>\0", 12)), u"<r/>");
}

// A file that is not UTF-8 although nothing (or its UTF-8 declaration) says
// otherwise is read in the ANSI code page and written back in it, so a save
// changes only the element that changed.
TEST_F(XmlFileCodec, FilesThatAreNotUtf8AreReadAndSavedInTheAnsiCodePage)
{
    struct Case
    {
        const char *name;
        QByteArray head;
    };
    const Case cases[] = {
        {"no declaration", ""},
        {"UTF-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"},
        {"unknown encoding declared", "<?xml version=\"1.0\" encoding=\"x-unknown\"?>\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = c.head + "<r>\r\n<a>caf\xE9 \x80</a>\r\n<b>1</b>\r\n</r>\r\n";
        bool ok = false;
        const QString text = load(bytes, &ok);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(text.contains(u"<a>caf\u00e9 \u20ac</a>")) << text.toStdString();
        EXPECT_EQ(save(), bytes);

        ASSERT_TRUE(m_doc.FindElement(u"r") && m_doc.EnterElement() && m_doc.FindElement(u"b"));
        ASSERT_TRUE(m_doc.SetElementText(u"\u00e9\u20ac"));
        QByteArray expected = bytes;
        expected.replace("<b>1</b>", "<b>\xE9\x80</b>");
        EXPECT_EQ(save(), expected);
    }
    // Bytes the lenient UTF-8 test accepts but that are no UTF-8 (a stray
    // continuation byte taken as a lead) are no exception.
    EXPECT_EQ(load(" <r>\x80\x80</r>"), u" <r>\u20ac\u20ac</r>");
    EXPECT_EQ(save(), " <r>\x80\x80</r>");

    // Text set in place of what was read names its own encoding: none, UTF-8.
    m_doc.SetDocumentText(u"<r>\u00e9</r>");
    EXPECT_EQ(save(), "<r>\xC3\xA9</r>");
}

// Windows-1252 leaves five bytes undefined; they survive a load and save like
// every other byte, whether the file declares Windows-1252 or is detected.
TEST_F(XmlFileCodec, UndefinedWindows1252BytesRoundTrip)
{
    for (const QByteArray &head : {QByteArray(), QByteArray("<?xml encoding=\"windows-1252\"?>")}) {
        const QByteArray bytes = head + "<r>\x81\x8D\x8F\x90\x9D\xE9</r>";
        EXPECT_EQ(load(bytes),
                  QString::fromLatin1(head) + u"<r>\u0081\u008D\u008F\u0090\u009D\u00e9</r>"_s);
        EXPECT_EQ(save(), bytes);
    }
}

// An encoding we do not know is read and written as if there were no
// declaration: UTF-8 when the bytes are UTF-8, else the ANSI code page; text
// built in memory is written in UTF-8.
TEST_F(XmlFileCodec, UnknownDeclaredEncodingReadsAndWritesAlike)
{
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"x-made-up\"?>";
    EXPECT_EQ(load(declaration + "<r>\xE4\xB8\xAD</r>"),
              QString::fromLatin1(declaration) + u"<r>\u4e2d</r>"_s);
    EXPECT_EQ(save(), declaration + "<r>\xE4\xB8\xAD</r>");

    CXmlDocument built;
    built.SetDocumentText(QString::fromLatin1(declaration) + u"<r>\u00e9\u4e2d</r>"_s);
    ASSERT_TRUE(built.SaveFile(path("built.xml")));
    EXPECT_EQ(ReadFileBytes(path("built.xml")), declaration + "<r>\xC3\xA9\xE4\xB8\xAD</r>");
    ASSERT_TRUE(m_doc.LoadFile(path("built.xml")));
    EXPECT_EQ(m_doc.GetDocumentText(), built.GetDocumentText());
}

// A save that would write '?' for a character writes nothing and says which
// file and which character.
TEST_F(XmlFileCodec, SavesThatWouldLoseCharactersAreRefused)
{
    const QString target = path("kept.xml");
    const auto refused = [&](CXmlDocument &doc, const char *expected) {
        ASSERT_TRUE(WriteFileBytes(target, "<old/>"));
        const kw::Status checked = doc.CheckSave(target);
        const kw::Status saved = doc.SaveFile(target);
        EXPECT_FALSE(checked);
        EXPECT_FALSE(saved);
        EXPECT_EQ(checked.error(), saved.error());
        EXPECT_TRUE(saved.error().contains(target)) << saved.error().toStdString();
        EXPECT_TRUE(saved.error().contains(QString::fromUtf8(expected)))
            << saved.error().toStdString();
        EXPECT_EQ(ReadFileBytes(target), "<old/>");
    };

    CXmlDocument latin1;
    latin1.SetDocumentText(u"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><r>\u00e9\u4e2d</r>");
    refused(latin1, "ISO-8859-1, cannot hold the character U+4E2D \"\u4e2d\"");
    EXPECT_TRUE(latin1.GetResult().contains(u"conversion_loss"));

    // Read in the ANSI code page: what Windows-1252 lacks cannot be added.
    load("<r><a>\xE9</a></r>");
    ASSERT_TRUE(m_doc.FindElement(u"r") && m_doc.EnterElement() && m_doc.FindElement(u"a"));
    ASSERT_TRUE(m_doc.SetElementText(u"\U0001F600"));
    refused(m_doc, "Windows-1252, cannot hold the character U+1F600");

    // UTF-8 holds every character but not half of one.
    CXmlDocument utf8;
    utf8.SetDocumentText(u"<r>a"_s + QChar(0xD800) + u"</r>"_s);
    refused(utf8, "UTF-8, cannot hold the character U+D800");

    // Bytes the declared encoding or the mark's cannot decode were read as
    // '?': writing would replace them.
    const QByteArray sjis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x93\xFA\xFF</r>";
    const QByteArray utf8Bom = "\xEF\xBB\xBF<r>\xE9</r>";
    const QByteArray oddUtf16 = QByteArray("\xFF\xFE<\0r\0/\0>\0", 10) + "x";
    for (const QByteArray &bytes : {sjis, utf8Bom, oddUtf16}) {
        EXPECT_TRUE(load(bytes).contains(u'?'));
        refused(m_doc, "could not be decoded");
    }
}

TEST_F(XmlFileCodec, FileFailures)
{
    EXPECT_FALSE(m_doc.LoadFile(path("missing.xml")));
    EXPECT_TRUE(m_doc.GetDocumentText().isEmpty());
    EXPECT_TRUE(m_doc.GetResult().contains(u"file_error"));

    bool ok = true;
    EXPECT_EQ(load(QByteArray()), u"");
    m_doc.LoadFile(path("in.xml"));
    EXPECT_FALSE(m_doc.LoadFile(path("in.xml"))); // empty: no top-level element

    // Not well-formed: false, but what was recognised stays loaded.
    load("<r><a>1</a>", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m_doc.FindElement(u"r"));

    // An empty document writes an empty file.
    m_doc.SetDocumentText(u"");
    EXPECT_EQ(save(), QByteArray());

    // Saving where no file can be written fails and leaves nothing behind.
    m_doc.SetDocumentText(u"<r/>");
    ASSERT_TRUE(QDir(m_sandbox.path()).mkdir(QStringLiteral("folder.xml")));
    EXPECT_FALSE(m_doc.SaveFile(path("folder.xml")));
    const kw::Status saved = m_doc.SaveFile(path("no/such/folder/out.xml"));
    EXPECT_FALSE(saved);
    EXPECT_TRUE(saved.error().startsWith(u"cannot write \""_s + path("no/such/folder/out.xml")))
        << saved.error().toStdString();
    EXPECT_TRUE(m_doc.GetResult().contains(u"file_error"));
}

TEST_F(XmlFileCodec, FailedSaveKeepsThePreviousFileWhole)
{
    const QString file = path("keep.xml");
    // 64 KiB goes straight to the file; 8 KiB waits in the file's buffer and
    // fails only when it is flushed, which commit() alone does not notice.
    for (const qsizetype size : {64 * 1024, 8 * 1024}) {
        ASSERT_TRUE(WriteFileBytes(file, "<old/>"));
        m_doc.SetDocumentText(u"<r>"_s + QString(size, u'x') + u"</r>"_s);

        // A file-size limit makes the write fail part-way, as a full disk would.
        struct rlimit saved
        {
        };
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool savedOk = m_doc.SaveFile(file).ok();
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, oldHandler);

        EXPECT_FALSE(savedOk) << size;
        EXPECT_TRUE(m_doc.GetResult().contains(u"file_error")) << size;
        EXPECT_EQ(ReadFileBytes(file), "<old/>") << size;
        EXPECT_EQ(QDir(m_sandbox.path()).entryList(QDir::Files).size(), 1) << size;
    }
}

} // namespace
