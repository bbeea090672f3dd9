#include "editor_test_support.h"

#include "model/template_library.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

class OutputMetadataEditor : public EditorFixture
{
};

TEST_F(OutputMetadataEditor, EveryChoiceIsSavedIntoTheTemplateAtOnce)
{
    writeTemplate({newLayer()});
    const QString templatePath = ModelFilePath(m_folder, u"Sample");
    const QByteArray original = ReadFileBytes(templatePath);
    openEditor();
    auto *location = find<QCheckBox>("stripLocationBox");
    EXPECT_FALSE(find<QCheckBox>("stripSerialNumbersBox")->isChecked());
    auto *artist = find<QLineEdit>("outputArtistBox");
    auto *copyright = find<QLineEdit>("outputCopyrightBox");
    EXPECT_FALSE(location->isChecked());
    EXPECT_TRUE(artist->text().isEmpty());

    location->click();
    retype(artist, u"Jane {camra}"_s);
    // The variables help of the text page is there too.
    auto *warning = artist->findChild<QAction *>(u"unknownVariablesAction"_s);
    ASSERT_TRUE(warning);
    EXPECT_TRUE(warning->isVisible());
    retype(artist, u"Jane Doe"_s);
    retype(copyright, u"(c) {year}"_s);
    OutputMetadataSetting want;
    want.stripLocation = true;
    want.artist = u"Jane Doe"_s;
    want.copyright = u"(c) {year}"_s;
    EXPECT_EQ(*ReadOutputMetadataSetting(m_folder, u"Sample"_s), want);
    closeEditor();

    // Shown again as saved; clearing everything gives the file back as it was.
    openEditor();
    EXPECT_TRUE(find<QCheckBox>("stripLocationBox")->isChecked());
    EXPECT_EQ(find<QLineEdit>("outputCopyrightBox")->text(), u"(c) {year}"_s);
    find<QCheckBox>("stripLocationBox")->click();
    find<QCheckBox>("stripSerialNumbersBox")->click();
    find<QCheckBox>("stripSerialNumbersBox")->click();
    find<QLineEdit>("outputArtistBox")->clear();
    find<QLineEdit>("outputCopyrightBox")->clear();
    EXPECT_EQ(ReadFileBytes(templatePath), original);
    closeEditor();
}

} // namespace
} // namespace kw::test
