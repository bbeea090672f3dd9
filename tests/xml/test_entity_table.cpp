#include "xml/entity_table.h"

#include <gtest/gtest.h>

#include <QString>

#include <map>
#include <set>
#include <string>

namespace kw {
namespace {

using namespace Qt::StringLiterals;

TEST(LookUpEntity, KnownNames)
{
    const struct
    {
        QString name;
        char32_t codePoint;
    } cases[] = {
        // Names that differ only in case.
        {u"Eacute"_s, 201},
        {u"eacute"_s, 233},
        {u"Alpha"_s, 913},
        {u"alpha"_s, 945},
        {u"Dagger"_s, 8225},
        {u"dagger"_s, 8224},
        {u"Prime"_s, 8243},
        {u"prime"_s, 8242},
        {u"lArr"_s, 8656},
        {u"larr"_s, 8592},
        {u"Yuml"_s, 376},
        {u"yuml"_s, 255},
        {u"THORN"_s, 222},
        {u"thorn"_s, 254},
        // Latin-1.
        {u"nbsp"_s, 160},
        {u"copy"_s, 169},
        {u"frac34"_s, 190},
        {u"times"_s, 215},
        {u"szlig"_s, 223},
        // Symbols and Greek.
        {u"fnof"_s, 402},
        {u"sigmaf"_s, 962},
        {u"thetasym"_s, 977},
        {u"hellip"_s, 8230},
        {u"image"_s, 8465},
        {u"weierp"_s, 8472},
        {u"alefsym"_s, 8501},
        {u"crarr"_s, 8629},
        {u"there4"_s, 8756},
        {u"sup"_s, 8835},
        {u"sup2"_s, 178},
        {u"lang"_s, 9001},
        {u"loz"_s, 9674},
        {u"diams"_s, 9830},
        // Special.
        {u"quot"_s, 34},
        {u"amp"_s, 38},
        {u"lt"_s, 60},
        {u"gt"_s, 62},
        {u"apos"_s, 39},
        {u"circ"_s, 710},
        {u"zwnj"_s, 8204},
        {u"rsaquo"_s, 8250},
        {u"euro"_s, 8364},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(LookUpEntity(c.name), c.codePoint) << c.name.toStdString();
    }
}

TEST(LookUpEntity, UnknownNames)
{
    const QString names[] = {
        QString(),   u"AMP"_s,        u"Amp"_s,    u"APOS"_s,           u"Euro"_s,  u"NBSP"_s,
        u"Thorn"_s,  u"aElig"_s,      u"nbsp "_s,  u" nbsp"_s,          u"nbs"_s,   u"nbspx"_s,
        u"&amp;"_s,  u"amp;"_s,       u"#160"_s,   u"#x41"_s,           u"hArr2"_s, u"thetasymm"_s,
        u"ap\0os"_s, u"\u03B1lpha"_s, u"ａｍｐ"_s, QString(5000, u'a'),
    };
    for (const QString &name : names) {
        EXPECT_EQ(LookUpEntity(name), 0u) << name.toStdString();
    }
}

TEST(EntityTable, EveryEntryIsFoundAndCodePointsAreDistinct)
{
    std::set<char32_t> codePoints;
    for (const NamedEntity &entry : EntityTable()) {
        EXPECT_EQ(LookUpEntity(QString::fromLatin1(entry.name)), entry.codePoint) << entry.name;
        codePoints.insert(entry.codePoint);
    }
    EXPECT_EQ(codePoints.size(), 253u);
}

// HTML 4 has 64 pairs of names that differ only in case (128 names): 30
// Latin-1 letters (Agrave/agrave ... THORN/thorn), Yuml/yuml, 24 Greek
// letters, Prime/prime, five double arrows (lArr/larr ...), OElig/oelig,
// Scaron/scaron and Dagger/dagger. No name has three case forms.
TEST(EntityTable, SixtyFourNamesComeInTwoCaseForms)
{
    std::map<std::string, int> byFoldedName;
    for (const NamedEntity &entry : EntityTable()) {
        std::string folded(entry.name);
        for (char &c : folded) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        ++byFoldedName[folded];
    }
    int pairs = 0;
    for (const auto &[name, forms] : byFoldedName) {
        EXPECT_LE(forms, 2) << name;
        pairs += forms == 2 ? 1 : 0;
    }
    EXPECT_EQ(pairs, 64);
}

} // namespace
} // namespace kw
