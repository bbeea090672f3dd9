#include "editor_test_support.h"

#include "editor/number_box.h"
#include "model/template_library.h"
#include "render/watermark_renderer.h"

#include "support/image_measure.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

class Editor : public EditorFixture
{
protected:
    // Two layers that differ in every shown field the tests look at.
    void writeTwoLayers()
    {
        CWatermarkConf second = newLayer(u"Second layer"_s);
        second.ShadowAlpha = 7;
        second.ImageRotation = 15;
        writeTemplate({newLayer(u"First layer"_s), second});
    }

    QString shownText() const { return find<QLineEdit>("textBox")->text(); }
    int selected(const char *list) const { return find<QComboBox>(list)->currentIndex(); }
    int entries(const char *list) const { return find<QComboBox>(list)->count(); }
};

class PictureCatcher : public PreviewTarget
{
public:
    QSize viewSize() const override { return PreviewFrame::kSize; }
    void showPreview(const QImage &shown, const ViewPlacement &) override { picture = shown; }
    QImage picture;
};

// ---------------------------------------------------------------- layers

TEST_F(Editor, SelectingALayerInEitherPageShowsItInBoth)
{
    writeTwoLayers();
    openEditor();
    EXPECT_EQ(shownText(), u"First layer"_s);

    switchToTab(1);
    choose(find<QComboBox>("imageLayerList"), 1);
    EXPECT_EQ(selected("layerList"), 1);
    EXPECT_EQ(find<NumberBox>("imageRotationBox")->text(), u"15"_s);
    switchToTab(0);
    EXPECT_EQ(shownText(), u"Second layer"_s);
    EXPECT_EQ(find<NumberBox>("shadowAlphaBox")->text(), u"7"_s);

    choose(find<QComboBox>("layerList"), 0);
    EXPECT_EQ(selected("imageLayerList"), 0);
    EXPECT_EQ(find<NumberBox>("imageRotationBox")->text(), u"0"_s);
    // Edits go to the selected layer only.
    retype(find<QLineEdit>("textBox"), u"Edited"_s);
    EXPECT_EQ(savedLayer(0).textContent, u"Edited"_s);
    EXPECT_EQ(savedLayer(1).textContent, u"Second layer"_s);
}

TEST_F(Editor, AddLayerAppendsACompleteNewLayer)
{
    openEditor();
    m_prompts.names.push_back(u"Layer A"_s);  // taken
    m_prompts.names.push_back(u"bad/name"_s); // refused character
    m_prompts.names.push_back(u"Extra"_s);
    runLayerCommand("imageLayerButton", "addLayerAction");

    ASSERT_EQ(m_prompts.nameRequests.size(), 1);
    EXPECT_EQ(m_prompts.nameRequests.first().caption, u"Add New Layer"_s);
    EXPECT_EQ(m_prompts.messages.size(), 2) << m_prompts.messageTexts().join(u'\n').toStdString();
    EXPECT_EQ(templateLayers(), QStringList({layerName(0), u"Extra"_s}));
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files).size(), 3) << "refused names wrote nothing";

    CWatermarkConf added;
    ASSERT_TRUE(LoadLayerConf(m_folder, u"Extra"_s, added)); // over an all-zero record
    CWatermarkConf expected;
    ApplyNewLayerDefaults(expected, kAddedLayerText);
    expected.TurnAboutAnchor = expected.ImageTurnAboutAnchor = 1;
    EXPECT_EQ(added, expected);
    EXPECT_TRUE(find<QCheckBox>("turnAboutAnchorCheck")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("imageTurnAboutAnchorCheck")->isChecked());

    for (const char *list : {"layerList", "imageLayerList"}) {
        EXPECT_EQ(entries(list), 2) << list;
        EXPECT_EQ(selected(list), 1) << list;
    }
    EXPECT_EQ(shownText(), kAddedLayerText.toString());
}

TEST_F(Editor, RenameLayerRenamesItsFileAndEntry)
{
    writeTwoLayers();
    openEditor();
    choose(find<QComboBox>("layerList"), 1);
    m_prompts.names.push_back(layerName(0)); // the other layer's name
    m_prompts.names.push_back(u"Renamed"_s);
    runLayerCommand("layerButton", "renameLayerAction");

    ASSERT_EQ(m_prompts.nameRequests.size(), 1);
    EXPECT_EQ(m_prompts.nameRequests.first().initialText, layerName(1));
    EXPECT_EQ(m_prompts.messages.size(), 1);
    EXPECT_EQ(templateLayers(), QStringList({layerName(0), u"Renamed"_s}));
    EXPECT_FALSE(QFileInfo::exists(ModelFilePath(m_folder, layerName(1))));
    CWatermarkConf renamed;
    ASSERT_TRUE(LoadLayerOverDefaults(m_folder, u"Renamed"_s, renamed));
    EXPECT_EQ(renamed.textContent, u"Second layer"_s);
    EXPECT_EQ(find<QComboBox>("imageLayerList")->currentText(), u"Renamed"_s);
    EXPECT_EQ(shownText(), u"Second layer"_s);
}

TEST_F(Editor, RemoveLayerAsksAndKeepsTheLastLayer)
{
    writeTwoLayers();
    openEditor();
    choose(find<QComboBox>("layerList"), 1);

    m_prompts.answers.push_back(MessageAnswer::No);
    runLayerCommand("layerButton", "removeLayerAction");
    EXPECT_EQ(templateLayers().size(), 2);

    m_prompts.answers.push_back(MessageAnswer::Yes);
    runLayerCommand("imageLayerButton", "removeLayerAction");
    EXPECT_EQ(templateLayers(), QStringList({layerName(0)}));
    EXPECT_FALSE(QFileInfo::exists(ModelFilePath(m_folder, layerName(1))));
    EXPECT_EQ(entries("imageLayerList"), 1);
    EXPECT_EQ(selected("layerList"), 0);
    EXPECT_EQ(shownText(), u"First layer"_s);

    const int asked = int(m_prompts.messages.size());
    runLayerCommand("layerButton", "removeLayerAction");
    ASSERT_EQ(m_prompts.messages.size(), asked + 1);
    EXPECT_EQ(m_prompts.messages.last().icon, MessageIcon::Warning) << "refused, not asked";
    EXPECT_EQ(templateLayers(), QStringList({layerName(0)}));
    EXPECT_TRUE(QFileInfo::exists(ModelFilePath(m_folder, layerName(0))));
}

TEST_F(Editor, ALayerAnotherTemplateUsesIsNotRenamed)
{
    writeTwoLayers();
    ASSERT_TRUE(WriteFileBytes(TemplateIndexPath(m_folder),
                               "<Templates><template>Sample</template>"
                               "<template>Other</template></Templates>"));
    ASSERT_TRUE(WriteFileBytes(ModelFilePath(m_folder, u"Other"_s),
                               "<Layers><layer>" + layerName(1).toUtf8() + "</layer></Layers>"));
    openEditor();
    choose(find<QComboBox>("imageLayerList"), 1);
    m_prompts.names.push_back(u"Renamed"_s);
    runLayerCommand("imageLayerButton", "renameLayerAction");

    ASSERT_EQ(m_prompts.messages.size(), 1);
    EXPECT_EQ(m_prompts.messages.first().icon, MessageIcon::Warning) << "refused, not failed";
    EXPECT_TRUE(m_prompts.messages.first().text.contains(u"Other"_s));
    EXPECT_EQ(templateLayers(), QStringList({layerName(0), layerName(1)}));
    EXPECT_TRUE(QFileInfo::exists(ModelFilePath(m_folder, layerName(1))));
    EXPECT_EQ(find<QComboBox>("layerList")->currentText(), layerName(1));
}

// ---------------------------------------------------------------- the dialog

TEST_F(Editor, EnterLeavesItOpenAndEscapeClosesIt)
{
    openEditor();
    QTabWidget *tabs = find<QTabWidget>("editorTabs");
    for (QWidget *target :
         {static_cast<QWidget *>(find<QLineEdit>("textBox")),
          static_cast<QWidget *>(find<NumberBox>("shadowAlphaBox")),
          static_cast<QWidget *>(tabs->tabBar()), static_cast<QWidget *>(m_editor.get())}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(target, key);
        EXPECT_TRUE(m_editor->isVisible()) << target->objectName().toStdString();
    }
    EXPECT_EQ(m_prompts.fontRequests, 0) << "Enter pressed no button";

    retype(find<QLineEdit>("textBox"), u"Typed before Escape"_s);
    QTest::keyClick(find<QLineEdit>("textBox"), Qt::Key_Escape);
    EXPECT_FALSE(m_editor->isVisible());
    EXPECT_TRUE(m_editor->livePreview().isStopped());
    EXPECT_EQ(savedLayer().textContent, u"Typed before Escape"_s);
}

TEST_F(Editor, ClosingSavesOnceMoreAndEndsThePreviews)
{
    openEditor();
    retype(find<QLineEdit>("textBox"), u"Typed just before closing"_s);
    // The file changed behind the editor's back; closing writes the record.
    ASSERT_TRUE(SaveLayerConf(m_folder, layerName(0), newLayer(u"stale"_s)));
    closeEditor();
    EXPECT_FALSE(m_editor->isVisible());
    EXPECT_EQ(savedLayer().textContent, u"Typed just before closing"_s);

    // No preview is drawn after closing.
    LivePreview &preview = m_editor->livePreview();
    EXPECT_TRUE(preview.isStopped());
    const int renders = preview.renderCount();
    const int shown = find<PreviewFrame>("previewFrame")->shownCount();
    preview.requestRedraw();
    QCoreApplication::processEvents();
    EXPECT_EQ(preview.renderCount(), renders);
    EXPECT_EQ(find<PreviewFrame>("previewFrame")->shownCount(), shown);
}

TEST_F(Editor, TemplateWithoutLayersWritesNothing)
{
    writeTemplate({});
    const QByteArray templateBytes = ReadFileBytes(ModelFilePath(m_folder, u"Sample"_s));
    const QByteArray unlistedLayer = layerBytes(0);
    openEditor();
    EXPECT_EQ(entries("layerList"), 0);
    EXPECT_EQ(entries("imageLayerList"), 0);
    retype(find<QLineEdit>("textBox"), u"goes nowhere"_s);
    EXPECT_FALSE(find<QLabel>("editorStatus")->text().isEmpty());
    EXPECT_EQ(layerBytes(0), unlistedLayer);
    EXPECT_EQ(ReadFileBytes(ModelFilePath(m_folder, u"Sample"_s)), templateBytes);
}

TEST_F(Editor, SettingsTheFileHasNoPlaceForAreReported)
{
    QByteArray file = layerBytes(0);
    const qsizetype start = file.indexOf("<ShadowAlpha>");
    ASSERT_GE(start, 0);
    file.remove(start, file.indexOf("\n", start) + 1 - start);
    ASSERT_TRUE(WriteFileBytes(ModelFilePath(m_folder, layerName(0)), file));
    openEditor();
    auto *status = find<QLabel>("editorStatus");
    EXPECT_TRUE(status->text().isEmpty()) << "nothing lost yet";
    retype(find<NumberBox>("shadowAlphaBox"), u"25"_s);
    EXPECT_TRUE(status->text().contains(u"ShadowAlpha"_s)) << status->text().toStdString();
    retype(find<NumberBox>("shadowAlphaBox"), QString::number(newLayer().ShadowAlpha));
    EXPECT_TRUE(status->text().isEmpty());
}

TEST_F(Editor, FastTypingIsSavedAtOnceAndThePreviewEndsOnTheLastState)
{
    CWatermarkConf layer = newLayer();
    layer.BAddShadow = layer.BDrawEdge = layer.B3DText = layer.BGradientText = 1;
    writeTemplate({layer});
    openEditor();
    const int rendersBefore = m_editor->livePreview().renderCount();
    auto *text = find<QLineEdit>("textBox");
    text->end(false);
    const QString typed = u" typed quickly, key after key"_s;
    QTest::keyClicks(text, typed);
    EXPECT_EQ(savedLayer().textContent, u"Sample"_s + typed);
    waitForPreview();
    // Keystrokes that came while a render ran were folded together.
    EXPECT_LT(m_editor->livePreview().renderCount() - rendersBefore, typed.size());

    PictureCatcher fresh;
    CWatermarkRenderer::RenderWatermark(RenderMode::EditorPreview, {}, 0, 0, true,
                                        RenderInputs{m_folder, u"Sample"_s, {}, &fresh, {}});
    EXPECT_EQ(MaxChannelDifference(find<PreviewFrame>("previewFrame")->picture(), fresh.picture),
              0);
}

// ------------------------------------------------- removal resistance

TEST_F(Editor, RemovalResistanceIsSavedIntoTheTemplateAndPreviewed)
{
    writeTemplate({newLayer()});
    const QString templatePath = ModelFilePath(m_folder, u"Sample");
    const QByteArray original = ReadFileBytes(templatePath);
    openEditor();
    auto *box = find<QCheckBox>("resistRemovalBox");
    auto *displacement = find<QDoubleSpinBox>("warpDisplacementBox");
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(displacement->isEnabled());
    const QImage plain = find<PreviewFrame>("previewFrame")->picture();

    box->click();
    EXPECT_TRUE(displacement->isEnabled());
    EXPECT_TRUE(ReadFileBytes(templatePath).contains("<ResistRemoval>1,8,0,0</ResistRemoval>\r\n"));
    waitForPreview();
    const QImage warped = find<PreviewFrame>("previewFrame")->picture();
    EXPECT_GT(MaxChannelDifference(warped, plain), 0);
    // The example warp is the one the compositor draws for the editor.
    PictureCatcher fresh;
    CWatermarkRenderer::RenderWatermark(RenderMode::EditorPreview, {}, 0, 0, true,
                                        RenderInputs{m_folder, u"Sample"_s, {}, &fresh, {}});
    EXPECT_EQ(MaxChannelDifference(warped, fresh.picture), 0);

    displacement->setValue(2.5);
    find<QDoubleSpinBox>("warpOpacityBox")->setValue(5);
    EXPECT_EQ(ReadMarkWarpSetting(m_folder, u"Sample"_s)->maxDisplacement, 2.5);
    EXPECT_EQ(ReadMarkWarpSetting(m_folder, u"Sample"_s)->opacityVariation, 5.0);

    box->click();
    EXPECT_EQ(ReadFileBytes(templatePath), original);
    EXPECT_EQ(displacement->value(), 2.5); // kept in the box for the next time it is ticked
    waitForPreview();
    EXPECT_EQ(MaxChannelDifference(find<PreviewFrame>("previewFrame")->picture(), plain), 0);
}

// A layer whose picture cannot be read: the preview says why where the
// editor's status stands, instead of drawing the template without it.
TEST_F(Editor, APreviewThatCannotBeDrawnSaysWhy)
{
    CWatermarkConf layer = newLayer();
    layer.ImagePathName = m_folder + u"/moved/logo.png"_s;
    writeTemplate({layer});
    openEditor();
    waitForPreview();
    const QString status = find<QLabel>("editorStatus")->text();
    EXPECT_TRUE(status.contains(u"the logo %1/moved/logo.png of layer"_s.arg(m_folder)))
        << status.toStdString();
}

} // namespace
} // namespace kw::test
