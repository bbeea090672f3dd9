#include "model/layer_file.h"
#include "model/layer_values.h"
#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "model_test_support.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

// The font list of a new layer: Tahoma, height -38, weight 400, pitch and
// family 34.
const QByteArray kNewLayerFontList =
    "218,255,255,255,0,0,0,0,0,0,0,0,0,0,0,0,144,1,0,0,0,0,0,0,0,0,0,34,84,0,97,0,104,0,111,0,"
    "109,0,97,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,"
    "0,0,0,0,0,0,0,0,0,0,0,0";

QByteArray NewLayerFile(const QByteArray &text)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<WatermarkConf>\r\n"
           "<Text>\r\n"
           "<textContent>" +
           text +
           "</textContent>\r\n"
           "<Font>" +
           kNewLayerFontList +
           "</Font>\r\n"
           "<FontPointSize>20</FontPointSize>\r\n"
           "<Location>4</Location>\r\n"
           "<OffsetH>0</OffsetH>\r\n"
           "<OffsetV>0</OffsetV>\r\n"
           "<Rotation>30</Rotation>\r\n"
           "<Transparency>255</Transparency>\r\n"
           "<BAddShadow>0</BAddShadow>\r\n"
           "<ShadowH>2</ShadowH>\r\n"
           "<ShadowV>2</ShadowV>\r\n"
           "<ShadowBR>0</ShadowBR>\r\n"
           "<ShadowAlpha>12</ShadowAlpha>\r\n"
           "<ShadowColor>8421504</ShadowColor>\r\n"
           "<BFillText>1</BFillText>\r\n"
           "<TextColor>734110</TextColor>\r\n"
           "<BDrawEdge>0</BDrawEdge>\r\n"
           "<EdgeColor>32896</EdgeColor>\r\n"
           "<EdgeLineThickness>2</EdgeLineThickness>\r\n"
           "<EdgeAlpha>255</EdgeAlpha>\r\n"
           "<B3DText>0</B3DText>\r\n"
           "<TDTextColor>8421504</TDTextColor>\r\n"
           "<TDTextOffset>6</TDTextOffset>\r\n"
           "<TDTextPos>3</TDTextPos>\r\n"
           "<BGradientText>0</BGradientText>\r\n"
           "<GradientBeginColor>16776960</GradientBeginColor>\r\n"
           "<GradientEndColor>255</GradientEndColor>\r\n"
           "<BCoverImage>0</BCoverImage>\r\n"
           "<coverImgMethod>0</coverImgMethod>\r\n"
           "</Text>\r\n"
           "<Image>\r\n"
           "<ImagePathName/>\r\n"
           "<ImageLocation>4</ImageLocation>\r\n"
           "<ImageOffsetH>0</ImageOffsetH>\r\n"
           "<ImageOffsetV>0</ImageOffsetV>\r\n"
           "<ImageRotation>0</ImageRotation>\r\n"
           "<ImageTransparency>100</ImageTransparency>\r\n"
           "<ImageWidth>0</ImageWidth>\r\n"
           "<ImageHeight>0</ImageHeight>\r\n"
           "</Image>\r\n"
           "</WatermarkConf>\r\n";
}

CWatermarkConf NewLayer(QStringView text = kw::kFirstRunLayerText)
{
    CWatermarkConf conf;
    kw::ApplyNewLayerDefaults(conf, text);
    return conf;
}

// A record in which every field differs from the new-layer values and every
// font byte differs from the new-layer font.
CWatermarkConf OtherLayer()
{
    CWatermarkConf conf;
    int next = 1000;
    for (const kw::LayerField &field : kw::LayerFields()) {
        if (field.text)
            conf.*field.text = u"other "_s + field.element.toString();
        else if (field.integer)
            conf.*field.integer = -(next++);
        else if (field.color)
            conf.*field.color = 0xFF000000u + kw::ColorRef(next++);
    }
    for (int i = 0; i < kw::LogFont::kSize; ++i)
        conf.Font.bytes()[i] = uint8_t(101 + i);
    return conf;
}

class LayerFileTest : public ::testing::Test
{
protected:
    QString path(const QString &layer) const { return kw::ModelFilePath(folder, layer); }
    void writeLayer(const QString &layer, const QByteArray &bytes)
    {
        ASSERT_TRUE(WriteFileBytes(path(layer), bytes));
    }
    // Loads `bytes` as a layer file into a record holding OtherLayer() values.
    CWatermarkConf loadOverOther(const QByteArray &bytes)
    {
        writeLayer(u"L"_s, bytes);
        CWatermarkConf conf = OtherLayer();
        EXPECT_TRUE(kw::LoadLayerConf(folder, u"L"_s, conf));
        return conf;
    }

    kw::test::TestSandbox sandbox;
    QString folder = sandbox.filePath(u"templates"_s);
    bool made = QDir().mkpath(folder);
};

TEST_F(LayerFileTest, NewLayerFileIsWrittenByteForByte)
{
    ASSERT_TRUE(kw::CreateLayerFile(folder, u"Demo 1_Layer 1"_s, NewLayer()));
    const QByteArray bytes = ReadFileBytes(folder + u"/Demo 1_Layer 1.xml"_s);
    EXPECT_EQ(bytes, NewLayerFile("Kelvane Watermark"));
    EXPECT_EQ(bytes.count("\r\n"), 44);
    EXPECT_EQ(kNewLayerFontList.size(), 203);
}

TEST_F(LayerFileTest, CreateReplacesAnExistingFile)
{
    writeLayer(u"L"_s, QByteArray(5000, 'x'));
    ASSERT_TRUE(kw::CreateLayerFile(folder, u"L"_s, NewLayer(u"A & <b>")));
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), NewLayerFile("A &amp; &lt;b&gt;"));
}

TEST_F(LayerFileTest, RoundTripRestoresEveryFieldAndFontByte)
{
    // Every font byte value 0..255 appears somewhere across the two records,
    // and the texts carry escapes, quotes, non-Latin text and edge blanks.
    CWatermarkConf written = NewLayer(u"  <A & B> \"q\" 'a' \u00e9\u4e2d\U0001F600 "_s);
    written.ImagePathName = u"/photos/logo & co.png"_s;
    for (int i = 0; i < kw::LogFont::kSize; ++i)
        written.Font.bytes()[i] = uint8_t(255 - i);
    written.TextColor = 0xFFFFFFFFu;
    written.OffsetH = std::numeric_limits<int32_t>::min();
    written.OffsetV = std::numeric_limits<int32_t>::max();

    for (const CWatermarkConf &conf : {written, NewLayer(), OtherLayer()}) {
        ASSERT_TRUE(kw::CreateLayerFile(folder, u"L"_s, conf));
        CWatermarkConf loaded = conf == OtherLayer() ? NewLayer() : OtherLayer();
        ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, loaded));
        EXPECT_EQ(loaded, conf);
        EXPECT_EQ(loaded.Font.bytes(), conf.Font.bytes());
    }
}

// Replaces the first occurrence of `from` in the new layer file.
QByteArray EditedNewLayer(const QByteArray &from, const QByteArray &to)
{
    QByteArray file = NewLayerFile("T");
    const qsizetype at = file.indexOf(from);
    EXPECT_GE(at, 0) << from.constData();
    return file.replace(at, from.size(), to);
}

TEST_F(LayerFileTest, ReadingCornerCases)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        std::function<void(CWatermarkConf &expected)> change; // from all-new values
    };
    const CWatermarkConf other = OtherLayer();
    const Case cases[] = {
        {"missing EdgeAlpha keeps its value", EditedNewLayer("<EdgeAlpha>255</EdgeAlpha>\r\n", ""),
         [&](CWatermarkConf &e) { e.EdgeAlpha = other.EdgeAlpha; }},
        {"EdgeAlpha before EdgeLineThickness is not seen",
         EditedNewLayer("<EdgeLineThickness>2</EdgeLineThickness>\r\n<EdgeAlpha>255</EdgeAlpha>",
                        "<EdgeAlpha>200</EdgeAlpha>\r\n<EdgeLineThickness>7</EdgeLineThickness>"),
         [&](CWatermarkConf &e) {
             e.EdgeLineThickness = 7;
             e.EdgeAlpha = other.EdgeAlpha;
         }},
        {"of two equal elements the first counts",
         EditedNewLayer("<Location>4</Location>", "<Location>1</Location><Location>2</Location>"),
         [](CWatermarkConf &e) { e.Location = 1; }},
        {"names compare with case",
         EditedNewLayer("<Location>4</Location>", "<location>4</location>"),
         [&](CWatermarkConf &e) { e.Location = other.Location; }},
        {"unknown elements, comments and attributes are skipped",
         EditedNewLayer("<Rotation>30</Rotation>",
                        "<!-- c --><Extra>9</Extra><Rotation a=\"1\">45</Rotation>"),
         [](CWatermarkConf &e) { e.Rotation = 45; }},
        {"blank then 7", EditedNewLayer("<Location>4</Location>", "<Location> 7</Location>"),
         [](CWatermarkConf &e) { e.Location = 7; }},
        {"x reads as 0", EditedNewLayer("<Location>4</Location>", "<Location>x</Location>"),
         [](CWatermarkConf &e) { e.Location = 0; }},
        {"empty reads as 0", EditedNewLayer("<Location>4</Location>", "<Location/>"),
         [](CWatermarkConf &e) { e.Location = 0; }},
        {"colour -1 keeps its 32 bits",
         EditedNewLayer("<TextColor>734110</TextColor>", "<TextColor>-1</TextColor>"),
         [](CWatermarkConf &e) { e.TextColor = 0xFFFFFFFFu; }},
        {"text keeps its blanks and decodes references",
         EditedNewLayer("<textContent>T</textContent>",
                        "<textContent> a&#65;<![CDATA[<b>]]>c </textContent>"),
         [](CWatermarkConf &e) { e.textContent = u" aA<b>c "_s; }},
        {"font list overwrites only its bytes", EditedNewLayer(kNewLayerFontList, "0x20, 010 ,300"),
         [&](CWatermarkConf &e) {
             e.Font = other.Font;
             e.Font.bytes()[0] = 32;
             e.Font.bytes()[1] = 8;
             e.Font.bytes()[2] = 44;
         }},
        {"an element with children reads as empty",
         EditedNewLayer("<Location>4</Location>", "<Location><x>5</x></Location>"),
         [](CWatermarkConf &e) { e.Location = 0; }},
        {"Image before Text is not seen",
         "<?xml version=\"1.0\"?><WatermarkConf><Image><ImageWidth>50</ImageWidth></Image>"
         "<Text><Rotation>9</Rotation></Text></WatermarkConf>",
         [&](CWatermarkConf &e) {
             e = other;
             e.Rotation = 9;
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CWatermarkConf expected = NewLayer(u"T");
        c.change(expected);
        EXPECT_EQ(loadOverOther(c.file), expected);
    }
}

TEST_F(LayerFileTest, UnreadableFilesLeaveTheRecordWhole)
{
    const QByteArray files[] = {
        "",
        "<WatermarkConf><Text><Location>1</Location></Text>", // not ended
        "<WatermarkConf/><Other/>",                           // two roots
        "<Other><Text><Location>1</Location></Text></Other>", // no WatermarkConf
    };
    for (const QByteArray &file : files) {
        SCOPED_TRACE(file.constData());
        writeLayer(u"L"_s, file);
        CWatermarkConf conf = OtherLayer();
        const kw::Status result = kw::LoadLayerConf(folder, u"L"_s, conf);
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.error().isEmpty());
        EXPECT_EQ(conf, OtherLayer());
    }
    CWatermarkConf conf = OtherLayer();
    EXPECT_FALSE(kw::LoadLayerConf(folder, u"missing"_s, conf));
    EXPECT_EQ(conf, OtherLayer());
}

TEST_F(LayerFileTest, SaveChangesOnlyTheElementsWhoseValuesChanged)
{
    // A hand-edited file: comments, indentation, LF line ends, an unknown
    // element, a value written as " 7", an empty image path, a missing
    // ImageHeight and an element holding children.
    const QByteArray before = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!-- edited by hand -->\n"
                              "<WatermarkConf>\n"
                              "  <Text>\n"
                              "    <textContent>Old &amp; text</textContent>\n"
                              "    <Location> 7</Location>  <!-- keep -->\n"
                              "    <Note>free</Note>\n"
                              "    <Rotation>30</Rotation>\n"
                              "    <TextColor>1</TextColor>\n"
                              "    <EdgeAlpha><x/></EdgeAlpha>\n"
                              "  </Text>\n"
                              "  <Image>\n"
                              "    <ImagePathName/>\n"
                              "    <ImageWidth>0</ImageWidth>\n"
                              "  </Image>\n"
                              "</WatermarkConf>\n";
    writeLayer(u"L"_s, before);
    CWatermarkConf conf;
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, conf));
    ASSERT_EQ(conf.Location, 7);
    conf.textContent = u"New <text>"_s;
    conf.Rotation = -45;
    conf.EdgeAlpha = 200;
    conf.ImagePathName = u"/p/logo.png"_s;
    conf.ImageHeight = 99;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));

    QByteArray expected = before;
    expected.replace("Old &amp; text", "New &lt;text&gt;")
        .replace("<Rotation>30", "<Rotation>-45")
        .replace("<ImagePathName/>", "<ImagePathName>/p/logo.png</ImagePathName>");
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), expected);

    // Saving the record again writes nothing new.
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), expected);

    // An empty text leaves start and end tag with nothing between.
    conf.ImagePathName.clear();
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), QByteArray(expected).replace("/p/logo.png", ""));
}

TEST_F(LayerFileTest, SaveOnANewLayerFileChangesOnlyItsLines)
{
    ASSERT_TRUE(kw::CreateLayerFile(folder, u"L"_s, NewLayer(u"T")));
    CWatermarkConf conf = NewLayer(u"T");
    conf.ImagePathName = u"C:\\a.png"_s;
    conf.Font.setHeight(-12);
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    QByteArray expected =
        EditedNewLayer("<ImagePathName/>", "<ImagePathName>C:\\a.png</ImagePathName>");
    expected.replace("<Font>218,255,255,255,", "<Font>244,255,255,255,");
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), expected);
}

TEST_F(LayerFileTest, SaveKeepsTheFilesByteOrderMarkAndEncoding)
{
    const QString text =
        u"\ufeff<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        "<WatermarkConf><Text><Rotation>30</Rotation></Text></WatermarkConf>\r\n"_s;
    QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    writeLayer(u"L"_s, utf16);
    CWatermarkConf conf = NewLayer();
    conf.Rotation = 12;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    QString after = text;
    after.replace(u">30<"_s, u">12<"_s);
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)),
              QByteArray(reinterpret_cast<const char *>(after.utf16()), after.size() * 2));
}

TEST_F(LayerFileTest, SaveRefusesValuesTheFilesEncodingCannotHold)
{
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                              "<WatermarkConf><Text><textContent>a</textContent></Text>"
                              "</WatermarkConf>\r\n";
    writeLayer(u"L"_s, latin1);
    CWatermarkConf conf = NewLayer(u"caf\u00e9"_s);
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    const QByteArray written = QByteArray(latin1).replace(">a<", ">caf\xe9<");
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), written);

    conf.textContent = u"\u4e2d"_s;
    const kw::Status result = kw::SaveLayerConf(folder, u"L"_s, conf);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error().contains(path(u"L"_s))) << result.error().toStdString();
    EXPECT_TRUE(result.error().contains(u"ISO-8859-1, cannot hold the character U+4E2D"_s))
        << result.error().toStdString();
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), written);
}

// The program's own layer file, edited and saved by an editor working in the
// ANSI code page (its declaration still says UTF-8): the values read as meant,
// and saving another field changes only that field's line.
TEST_F(LayerFileTest, AnsiEditedFileKeepsItsBytesOnSave)
{
    QByteArray ansi = NewLayerFile("Caf\xE9 \x80 \x81\x8D\x8F\x90\x9D");
    ansi.replace("<ImagePathName/>", "<ImagePathName>/Bilder/M\xFCnchen.png</ImagePathName>");
    writeLayer(u"L"_s, ansi);
    CWatermarkConf conf = NewLayer();
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, conf));
    EXPECT_EQ(conf.textContent, u"Caf\u00e9 \u20ac \u0081\u008D\u008F\u0090\u009D"_s);
    EXPECT_EQ(conf.ImagePathName, u"/Bilder/M\u00fcnchen.png"_s);

    conf.Rotation = -15;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    const QByteArray saved = QByteArray(ansi).replace("<Rotation>30", "<Rotation>-15");
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), saved);

    // What Windows-1252 cannot hold is refused, not written as '?'.
    conf.textContent = u"\u65e5\u672c"_s;
    const kw::Status refused = kw::SaveLayerConf(folder, u"L"_s, conf);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(u"Windows-1252, cannot hold the character U+65E5"_s))
        << refused.error().toStdString();
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), saved);
}

// Bytes the declared encoding cannot decode are read as '?'; a save would
// write the '?' in their place, so it is refused and the file kept.
TEST_F(LayerFileTest, SaveRefusesAFileWithUndecodableBytes)
{
    const QByteArray sjis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                            "<WatermarkConf><Text><textContent>\x93\xFA\xFF</textContent>"
                            "<Rotation>30</Rotation></Text></WatermarkConf>\r\n";
    writeLayer(u"L"_s, sjis);
    CWatermarkConf conf = NewLayer();
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, conf));
    EXPECT_EQ(conf.textContent, u"\u65e5?"_s);
    conf.Rotation = 5;
    const kw::Status result = kw::SaveLayerConf(folder, u"L"_s, conf);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error().contains(u"could not be decoded"_s)) << result.error().toStdString();
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), sjis);
}

TEST_F(LayerFileTest, SaveNeverCreatesOrRepairsAFile)
{
    EXPECT_FALSE(kw::SaveLayerConf(folder, u"missing"_s, NewLayer()));
    EXPECT_FALSE(QFile::exists(path(u"missing"_s)));

    const QByteArray broken = "<WatermarkConf><Text><Rotation>1</Rotation>";
    writeLayer(u"L"_s, broken);
    EXPECT_FALSE(kw::SaveLayerConf(folder, u"L"_s, NewLayer()));
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), broken);
}

TEST_F(LayerFileTest, NamesThatLeaveTheFolderAreRefused)
{
    for (const QString &name : {u""_s, u"."_s, u".."_s, u"../x"_s, u"a/b"_s, u"a\\b"_s}) {
        SCOPED_TRACE(name.toStdString());
        CWatermarkConf conf = NewLayer();
        EXPECT_FALSE(kw::CreateLayerFile(folder, name, conf));
        EXPECT_FALSE(kw::LoadLayerConf(folder, name, conf));
        EXPECT_FALSE(kw::SaveLayerConf(folder, name, conf));
    }
    EXPECT_FALSE(QFile::exists(sandbox.filePath(u"x.xml"_s)));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList());
}

} // namespace

// ---------------------------------------------------------------- optional elements

TEST_F(LayerFileTest, OptionalElementsArePresentOnlyWhileSet)
{
    CWatermarkConf conf = NewLayer(u"T"_s);
    conf.TurnAboutAnchor = 1;
    conf.RelativeSize = 608;
    conf.RelativeOffsetV = -250;
    conf.ImageDrawWidth = 120;
    conf.ImageRelativeOffsetH = 75;
    ASSERT_TRUE(kw::CreateLayerFile(folder, u"L"_s, conf));
    const QByteArray written = ReadFileBytes(path(u"L"_s));
    // Appended at the end of their groups, in the file's CR LF.
    EXPECT_TRUE(written.contains("<coverImgMethod>0</coverImgMethod>\r\n"
                                 "<TurnAboutAnchor>1</TurnAboutAnchor>\r\n"
                                 "<RelativeSize>608</RelativeSize>\r\n"
                                 "<RelativeOffsetV>-250</RelativeOffsetV>\r\n</Text>"));
    EXPECT_TRUE(written.contains("<ImageHeight>0</ImageHeight>\r\n"
                                 "<ImageDrawWidth>120</ImageDrawWidth>\r\n"
                                 "<ImageRelativeOffsetH>75</ImageRelativeOffsetH>\r\n</Image>"));
    EXPECT_FALSE(written.contains("<RelativeOffsetH>"));
    CWatermarkConf loaded = OtherLayer();
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, loaded));
    EXPECT_EQ(loaded, conf);

    // Back at 0 they leave the file: it is the plain new-layer file again.
    conf.RelativeSize = 0;
    conf.RelativeOffsetV = 0;
    conf.TurnAboutAnchor = 0;
    conf.ImageDrawWidth = 0;
    conf.ImageRelativeOffsetH = 0;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    EXPECT_EQ(ReadFileBytes(path(u"L"_s)), NewLayerFile("T"));

    // A record that held optional values reads a file without them as 0.
    CWatermarkConf reread = conf;
    reread.RelativeSize = 900;
    reread.ImageTurnAboutAnchor = 1;
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"L"_s, reread));
    EXPECT_EQ(reread, conf);
}

TEST_F(LayerFileTest, OptionalElementsAreFoundAnywhereInTheirGroupAndKeptInBounds)
{
    // Before the fixed fields, duplicated, out of range, unreadable, in the
    // other group: each read the safe way.
    QByteArray file =
        EditedNewLayer("<textContent>", "<RelativeSize>99999999999</RelativeSize>\r\n"
                                        "<RelativeSize>5</RelativeSize>\r\n"
                                        "<TurnAboutAnchor>7</TurnAboutAnchor>\r\n"
                                        "<RelativeOffsetH>-20000</RelativeOffsetH>\r\n"
                                        "<ImageDrawWidth>40</ImageDrawWidth>\r\n"
                                        "<textContent>");
    file.replace("<ImageHeight>0</ImageHeight>", "<ImageHeight>0</ImageHeight>\r\n"
                                                 "<ImageDrawHeight>x12</ImageDrawHeight>\r\n"
                                                 "<ImageRelativeWidth>-3</ImageRelativeWidth>");
    const CWatermarkConf loaded = loadOverOther(file);
    EXPECT_EQ(loaded.RelativeSize, kw::kMaxRelativeSize);
    EXPECT_EQ(loaded.TurnAboutAnchor, 1);
    EXPECT_EQ(loaded.RelativeOffsetH, -kw::kMaxRelativeOffset);
    EXPECT_EQ(loaded.ImageDrawWidth, 0); // it stands in the text group
    EXPECT_EQ(loaded.ImageDrawHeight, 0);
    EXPECT_EQ(loaded.ImageRelativeWidth, 0);
    // The fixed fields still read in order.
    EXPECT_EQ(loaded.textContent, u"T"_s);
    EXPECT_EQ(loaded.ImageHeight, 0);

    // Saving keeps what reads as the value, changes the first copy, and
    // removes the elements that mean 0.
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, loaded));
    EXPECT_TRUE(ReadFileBytes(path(u"L"_s)).contains("<RelativeSize>99999999999</RelativeSize>"));
    CWatermarkConf changed = loaded;
    changed.RelativeSize = 700;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, changed));
    const QByteArray saved = ReadFileBytes(path(u"L"_s));
    EXPECT_TRUE(saved.contains("<RelativeSize>700</RelativeSize>\r\n"
                               "<RelativeSize>5</RelativeSize>"));
    EXPECT_TRUE(saved.contains("<TurnAboutAnchor>7</TurnAboutAnchor>")); // reads as on
    EXPECT_FALSE(saved.contains("ImageDrawHeight"));
    EXPECT_FALSE(saved.contains("ImageRelativeWidth"));
    EXPECT_TRUE(saved.contains("<ImageDrawWidth>40</ImageDrawWidth>")); // not ours to touch
}

TEST_F(LayerFileTest, OptionalElementsFollowTheFilesLineBreaks)
{
    QByteArray file = NewLayerFile("T");
    file.replace("\r\n", "\n");
    writeLayer(u"L"_s, file);
    CWatermarkConf conf = NewLayer(u"T"_s);
    conf.ImageTurnAboutAnchor = 1;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"L"_s, conf));
    const QByteArray saved = ReadFileBytes(path(u"L"_s));
    EXPECT_FALSE(saved.contains('\r'));
    EXPECT_TRUE(saved.contains("<ImageHeight>0</ImageHeight>\n"
                               "<ImageTurnAboutAnchor>1</ImageTurnAboutAnchor>\n</Image>"));

    // A file without an Image group keeps everything else and says what it
    // could not hold.
    file = NewLayerFile("T");
    file.replace(file.indexOf("<Image>"),
                 file.indexOf("</Image>\r\n") + 10 - file.indexOf("<Image>"), "");
    writeLayer(u"N"_s, file);
    conf.Rotation = 45;
    const kw::Status result = kw::SaveLayerConf(folder, u"N"_s, conf);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error().contains(u"ImageTurnAboutAnchor"_s));
    EXPECT_TRUE(ReadFileBytes(path(u"N"_s)).contains("<Rotation>45</Rotation>"));
    // Read back, the field without a group means 0 like one without its element.
    CWatermarkConf reread = conf;
    ASSERT_TRUE(kw::LoadLayerConf(folder, u"N"_s, reread));
    EXPECT_EQ(reread.ImageTurnAboutAnchor, 0);
}
