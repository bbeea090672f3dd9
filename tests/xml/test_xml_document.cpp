#include "xml/xml_document.h"

#include "support/xml_index_walk.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using kw::CXmlDocument;

using namespace Qt::StringLiterals;

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

void expectIndexMatchesText(const CXmlDocument &doc)
{
    CXmlDocument fresh;
    fresh.SetDocumentText(doc.GetDocumentText());
    EXPECT_EQ(kw::test::DescribeXmlIndex(fresh).toStdString(),
              kw::test::DescribeXmlIndex(doc).toStdString());
}

TEST(XmlDocument, BuildsTheTemplateIndexByteForByte)
{
    CXmlDocument doc;
    doc.SetDocumentText(kDeclaration);
    ASSERT_TRUE(doc.AddElement(u"Templates"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"template", u"Demo 1"));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDocumentText(), kDeclaration + u"<Templates>\r\n"
                                                    u"<template>Demo 1</template>\r\n"
                                                    u"</Templates>\r\n"_s);
    EXPECT_TRUE(doc.CheckWellFormed());
}

TEST(XmlDocument, AddsOneElementPerLineWithoutIndentation)
{
    CXmlDocument doc;
    doc.SetDocumentText(kDeclaration);
    doc.AddElement(u"Root");
    doc.EnterElement();
    doc.AddElement(u"a", u"x & <y>");
    doc.AddElement(u"b", -42);
    doc.AddElement(u"c");
    doc.AddElement(u"d", u"it's \"quoted\"");
    EXPECT_EQ(doc.GetDocumentText(),
              kDeclaration + u"<Root>\r\n<a>x &amp; &lt;y&gt;</a>\r\n<b>-42</b>\r\n<c/>\r\n"
                             u"<d>it's \"quoted\"</d>\r\n</Root>\r\n"_s);
    EXPECT_EQ(doc.GetElementName(), u"d");
    for (const char16_t *bad : {u"", u"a b", u"a/", u"1a", u"a>", u"a&b", u"a=b"})
        EXPECT_FALSE(doc.AddElement(bad, u"x"));
    EXPECT_EQ(doc.GetElementName(), u"d");
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, AddsIntoParentsWithoutContent)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r><p></p><q/><s attr=\"1\" /></r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"p");
    doc.EnterElement();
    doc.AddElement(u"c1", u"1");
    doc.LeaveElement();
    doc.FindElement(u"q");
    doc.EnterElement();
    doc.AddElement(u"c2");
    doc.LeaveElement();
    doc.FindElement(u"s");
    doc.EnterElement();
    doc.AddElement(u"c3", u"3");
    EXPECT_EQ(doc.GetDocumentText(), u"<r><p>\r\n<c1>1</c1>\r\n</p><q>\r\n<c2/>\r\n</q>"
                                     u"<s attr=\"1\" >\r\n<c3>3</c3>\r\n</s></r>");
    EXPECT_TRUE(doc.CheckWellFormed());
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, AddsAfterTheCurrentElementAndItsTrailingWhiteSpace)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r>\r\n  <a/>\r\n  <b/>\r\n</r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"a");
    doc.AddElement(u"n");
    EXPECT_EQ(doc.GetDocumentText(), u"<r>\r\n  <a/>\r\n  <n/>\r\n<b/>\r\n</r>");
    // With text after the current element, the new one goes right after it.
    doc.SetDocumentText(u"<r><a/>tail</r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"a");
    doc.AddElement(u"n");
    EXPECT_EQ(doc.GetDocumentText(), u"<r><a/><n/>\r\ntail</r>");
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, EditsLeaveEveryOtherCharacterAlone)
{
    const QString original = QStringLiteral(
        "<?xml version=\"1.0\"?>\n<!-- a comment -->\n<Root>\t<Keep  >  spaced  </Keep >\n"
        "  <Change>old</Change><!-- x --><Other a='1'>o</Other>\n</Root>\n\n");
    CXmlDocument doc;
    ASSERT_TRUE(doc.SetDocumentText(original));
    EXPECT_EQ(doc.GetDocumentText(), original);
    doc.FindElement(u"Root");
    doc.EnterElement();
    ASSERT_TRUE(doc.FindElement(u"Change"));
    ASSERT_TRUE(doc.SetElementText(u"new & more"));
    QString expected = original;
    expected.replace(QStringLiteral(">old<"), QStringLiteral(">new &amp; more<"));
    EXPECT_EQ(doc.GetDocumentText(), expected);
    ASSERT_TRUE(doc.FindElement(u"Other"));
    EXPECT_EQ(doc.GetElementText(), u"o");
    doc.SetElementText(u"");
    expected.replace(QStringLiteral(">o<"), QStringLiteral("><"));
    EXPECT_EQ(doc.GetDocumentText(), expected);
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, SetElementTextRules)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r><e/><f /><p><c/></p></r>");
    EXPECT_FALSE(doc.SetElementText(u"no current element"));
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"e");
    ASSERT_TRUE(doc.SetElementText(u"x"));
    doc.FindElement(u"f");
    ASSERT_TRUE(doc.SetElementText(7));
    doc.FindElement(u"p");
    EXPECT_FALSE(doc.SetElementText(u"has children"));
    EXPECT_EQ(doc.GetDocumentText(), u"<r><e>x</e><f >7</f><p><c/></p></r>");
    expectIndexMatchesText(doc);

    // Every slash goes, or "<g//>" would still read as "/>".
    doc.SetDocumentText(u"<r><g//><h a='1'//></r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"g");
    doc.SetElementText(u"x");
    doc.FindElement(u"h");
    doc.EnterElement();
    doc.AddElement(u"c");
    EXPECT_EQ(doc.GetDocumentText(), u"<r><g>x</g><h a='1'>\r\n<c/>\r\n</h></r>");
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, RemovesAnElementWithItsLine)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r>\r\n<a>1</a>\r\n<b><x/></b>\r\n<c>3</c>\r\n</r>\r\n");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"b");
    ASSERT_TRUE(doc.RemoveElement());
    EXPECT_EQ(doc.GetDocumentText(), u"<r>\r\n<a>1</a>\r\n<c>3</c>\r\n</r>\r\n");
    EXPECT_EQ(doc.GetElementName(), u"a");
    ASSERT_TRUE(doc.RemoveElement());
    EXPECT_EQ(doc.GetElementName(), u"");
    EXPECT_FALSE(doc.RemoveElement());
    // With text after it, only the element goes.
    doc.FindElement(u"c");
    doc.SetDocumentText(u"<r><a/>tail</r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"a");
    doc.RemoveElement();
    EXPECT_EQ(doc.GetDocumentText(), u"<r>tail</r>");
    expectIndexMatchesText(doc);
}

TEST(XmlDocument, FindElementSearchesForwardAmongSiblings)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r><Location>1</Location><Size>2</Size><Location>3</Location></r>");
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_FALSE(doc.FindElement(u"location")); // names compare with case
    ASSERT_TRUE(doc.FindElement(u"Size"));
    ASSERT_TRUE(doc.FindElement(u"Location"));
    EXPECT_EQ(doc.GetElementText(), u"3");
    EXPECT_FALSE(doc.FindElement(u"Size")); // stands before the current one
    EXPECT_EQ(doc.GetElementText(), u"3");  // nothing moved

    doc.SetDocumentText(u"<r><Location>1</Location><LocationX>2</LocationX></r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    EXPECT_TRUE(doc.FindElement(u"Location and more"));
    EXPECT_EQ(doc.GetElementText(), u"1");
    EXPECT_FALSE(doc.FindElement(u"Location"));
    EXPECT_FALSE(doc.FindElement(u"/LocationX"));
    EXPECT_TRUE(doc.FindElement(u""));
    EXPECT_EQ(doc.GetElementName(), u"LocationX");
}

TEST(XmlDocument, EnterAndLeaveReturnToTheSameChild)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r><a><x/><y/></a><b/></r>");
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_FALSE(doc.LeaveElement());
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"a");
    doc.EnterElement();
    doc.FindElement(u"x");
    doc.LeaveElement();
    EXPECT_EQ(doc.GetElementName(), u"a");
    doc.EnterElement(); // back at x, so y is found next
    EXPECT_EQ(doc.GetElementName(), u"x");
    EXPECT_TRUE(doc.FindElement(u"y"));
    doc.LeaveElement();
    EXPECT_TRUE(doc.FindElement(u"b"));
}

TEST(XmlDocument, ElementTextUnescapesReferences)
{
    struct Case
    {
        const char16_t *stored;
        QString read;
    };
    const Case cases[] = {
        {u"x &amp; y", text(u"x & y")},
        {u"&eacute;&Eacute;", text(u"\u00e9\u00c9")},
        {u"&#233;&#xE9;&#XE9;&#xe9;", text(u"\u00e9\u00e9\u00e9\u00e9")},
        {u"&#x1F600;", text(u"\U0001F600")},
        {u"&Alpha;&alpha;&Dagger;&dagger;&apos;", text(u"\u0391\u03b1\u2021\u2020'")},
        {u"&bogus; & a&b", text(u"&bogus; & a&b")},
        {u"&#0; &#x; &#;", text(u"&#0; &#x; &#;")},
        {u"&abcdefghij;", text(u"&abcdefghij;")}, // ten characters: too long
        {u"&#00000065;", text(u"A")},             // nine characters: still read
        {u"&#x110000;", text(u"&#x110000;")},     // beyond Unicode
        {u"&am\u00e9;", text(u"&am\u00e9;")},
        {u"  spaced\t", text(u"  spaced\t")},
        {u"&amp", text(u"&amp")},
    };
    for (const Case &c : cases) {
        CXmlDocument doc;
        doc.SetDocumentText(u"<e>"_s + QString::fromUtf16(c.stored) + u"</e>"_s);
        doc.FindElement(u"e");
        EXPECT_EQ(doc.GetElementText(), c.read) << QString::fromUtf16(c.stored).toStdString();
    }
}

TEST(XmlDocument, ElementTextAroundMarkup)
{
    CXmlDocument doc;
    doc.SetDocumentText(u"<r><a>x<![CDATA[<&amp;>]]>y &lt;</a><b>text<c/></b>"
                        u"<d>1<!-- c -->2<?pi?> <![CDATA[]]>3</d><e/></r>");
    doc.FindElement(u"r");
    doc.EnterElement();
    doc.FindElement(u"a");
    EXPECT_EQ(doc.GetElementText(), u"x<&amp;>y <");
    doc.FindElement(u"b");
    EXPECT_EQ(doc.GetElementText(), u"");
    doc.FindElement(u"d");
    EXPECT_EQ(doc.GetElementText(), u"123");
    doc.FindElement(u"e");
    EXPECT_EQ(doc.GetElementText(), u"");
}

TEST(XmlDocument, RecognisesEveryTokenizerError)
{
    struct Case
    {
        const char16_t *input;
        const char16_t *event;
    };
    const Case cases[] = {
        {u"<r>< 1</r>", u"first_tag_syntax"},
        {u"<r><!x></r>", u"exclamation_tag_syntax"},
        {u"<r><!-x></r>", u"comment_tag_syntax"},
        {u"<r><![x></r>", u"cdata_section_syntax"},
        {u"<!DOCTYPE r [<!X>]><r/>", u"doctype_tag_syntax"},
        {u"<r><a b=\"x></r>", u"unterminated_tag_syntax"},
        {u"<r></r", u"unterminated_tag_syntax"},
        {u"<r><!-- x", u"unterminated_tag_syntax"},
        {u"<r><![CDATA[ x", u"unterminated_tag_syntax"},
        {u"<r><? x", u"unterminated_tag_syntax"},
        {u"<!DOCTYPE r [<!ELEMENT r ANY>", u"unterminated_tag_syntax"},
        {u"<r><", u"unterminated_tag_syntax"},
        {u"<r><a></b></r>", u"lone_end_tag"},
        {u"<r><a></r>", u"unended_start_tag"},
        {u"<r>", u"unended_start_tag"},
        {u"<r/><s/>", u"root_has_sibling"},
        {u"text only", u"no_root_element"},
        {u"", u"no_root_element"},
    };
    for (const Case &c : cases) {
        CXmlDocument doc;
        EXPECT_FALSE(doc.SetDocumentText(QString::fromUtf16(c.input)))
            << QString::fromUtf16(c.input).toStdString();
        EXPECT_TRUE(doc.GetResult().contains(QString::fromUtf16(c.event)))
            << QString::fromUtf16(c.input).toStdString() << " -> " << doc.GetResult().toStdString();
    }
}

TEST(XmlDocument, AcceptsWhatIsWellFormed)
{
    const char16_t *inputs[] = {
        u"<?xml version=\"1.0\"?>\r\n<r a=\"x>y\" b='/'>t</r>\r\n",
        u"<!DOCTYPE r [<!ELEMENT r ANY><!-- > --><!ATTLIST r a CDATA \">\">]><r/>",
        u"stray text<r/>more text",
        u"<r><a href=x/>t</a></r>", // "/" inside an unquoted value: not an empty element
        u"<\u00e9l\u00e9ment/>",
    };
    for (const char16_t *input : inputs) {
        CXmlDocument doc;
        EXPECT_TRUE(doc.SetDocumentText(QString::fromUtf16(input)))
            << QString::fromUtf16(input).toStdString() << doc.GetResult().toStdString();
    }
}

TEST(XmlDocument, RepairsKeepWhatWasRecognised)
{
    CXmlDocument doc;
    // <a> never ends: its children become its following siblings.
    EXPECT_FALSE(doc.SetDocumentText(u"<r><a><b>1</b><c>2</c></r>"));
    EXPECT_FALSE(doc.CheckWellFormed());
    ASSERT_TRUE(doc.FindElement(u"r"));
    doc.EnterElement();
    ASSERT_TRUE(doc.FindElement(u"a"));
    EXPECT_EQ(doc.GetElementText(), u"");
    EXPECT_FALSE(doc.EnterElement() && doc.FindElement(u"b"));
    doc.LeaveElement();
    EXPECT_TRUE(doc.FindElement(u"b"));
    EXPECT_EQ(doc.GetElementText(), u"1");
    EXPECT_TRUE(doc.FindElement(u"c"));

    // A lone end tag is skipped; the rest reads normally.
    EXPECT_FALSE(doc.SetDocumentText(u"<r><a>1</x>2</a></r>"));
    doc.FindElement(u"r");
    doc.EnterElement();
    ASSERT_TRUE(doc.FindElement(u"a"));
    EXPECT_EQ(doc.GetElementText(), u"12");

    // Nothing ends: all three become top-level elements. Editing the repaired
    // document keeps text and index in step.
    EXPECT_FALSE(doc.SetDocumentText(u"<r><a><b/>"));
    EXPECT_TRUE(doc.FindElement(u"r"));
    EXPECT_TRUE(doc.FindElement(u"a"));
    EXPECT_TRUE(doc.SetElementText(u"t"));
    doc.EnterElement();
    EXPECT_TRUE(doc.AddElement(u"n"));
    doc.LeaveElement();
    EXPECT_TRUE(doc.FindElement(u"b"));
    EXPECT_EQ(doc.GetDocumentText(), u"<r><a>t<n/>\r\n</a><b/>");
}

TEST(XmlDocument, ParsesDeepNestingWithoutRecursion)
{
    constexpr int kDepth = 200000;
    QString deep;
    deep.reserve(kDepth * 7);
    for (int i = 0; i < kDepth; ++i)
        deep += u"<a>";
    deep += u"x";
    for (int i = 0; i < kDepth; ++i)
        deep += u"</a>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.SetDocumentText(deep));
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_TRUE(doc.FindElement(u"a"));
        doc.EnterElement();
    }
    doc.LeaveElement();
    EXPECT_EQ(doc.GetElementText(), u"x");
    // Unended all the way down, then removed whole.
    deep.truncate(kDepth * 3);
    EXPECT_FALSE(doc.SetDocumentText(deep));
    doc.FindElement(u"a");
    EXPECT_TRUE(doc.RemoveElement());
    // The repair made every element a top-level sibling; removing the first leaves the rest.
    EXPECT_EQ(doc.GetDocumentText().size(), (kDepth - 1) * 3);
}

TEST(XmlDocument, RandomEditsKeepTextAndIndexInStep)
{
    QRandomGenerator random(20261206);
    CXmlDocument doc;
    doc.SetDocumentText(u"<?xml version=\"1.0\"?>\r\n<root><a>1</a><b/><c>x<d/></c></root>");
    const char16_t *names[] = {u"a", u"b", u"c", u"d", u"e"};
    for (int step = 0; step < 3000; ++step) {
        const char16_t *name = names[random.bounded(5)];
        switch (random.bounded(8)) {
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
            doc.AddElement(name, random.bounded(2) ? QString() : QStringLiteral("t<&>"));
            break;
        case 4:
            doc.SetElementText(random.bounded(2) ? QString() : QStringLiteral("v"));
            break;
        case 5:
            if (random.bounded(3) == 0)
                doc.RemoveElement();
            break;
        default:
            doc.FindElement(u"");
        }
        if (step % 100 == 0)
            expectIndexMatchesText(doc);
    }
    expectIndexMatchesText(doc);
}

} // namespace
