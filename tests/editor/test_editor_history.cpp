// Undo and redo in the template editor, driven by the keys a user presses.
#include "editor_test_support.h"

#include "editor/editor_session.h"
#include "editor/number_box.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QUndoStack>

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

class History : public EditorFixture
{
protected:
    void open()
    {
        openEditor();
        m_editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_editor.get()));
    }
    // Ctrl+Z or Ctrl+Shift+Z pressed while `focus` has the keyboard.
    void undo(QWidget *focus) { press(focus, Qt::ControlModifier); }
    void redo(QWidget *focus) { press(focus, Qt::ControlModifier | Qt::ShiftModifier); }
    void press(QWidget *focus, Qt::KeyboardModifiers modifiers)
    {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Z, modifiers);
        waitForPreview();
    }
    QUndoStack *history() const { return m_editor->findChild<QUndoStack *>(); }
    QLineEdit *textBox() const { return find<QLineEdit>("textBox"); }
};

TEST_F(History, ATypingBurstIsOneStepAndUndoPutsTheFileBytesBack)
{
    open();
    const QByteArray original = layerBytes();
    textBox()->setFocus();
    retype(textBox(), u"Hello there"_s);
    const QByteArray typed = layerBytes();
    ASSERT_NE(typed, original);
    NumberBox *offset = find<NumberBox>("offsetHBox");
    offset->setFocus();
    retype(offset, u"125"_s);
    const QByteArray moved = layerBytes();
    ASSERT_EQ(savedLayer().OffsetH, 125);

    // Ctrl+Z in a box undoes the editor's last step, not just the box's text.
    undo(textBox());
    EXPECT_EQ(layerBytes(), typed);
    EXPECT_EQ(offset->text(), u"0"_s);
    undo(textBox());
    EXPECT_EQ(layerBytes(), original) << "eleven keystrokes, one step";
    EXPECT_EQ(textBox()->text(), u"Sample"_s);
    EXPECT_FALSE(history()->canUndo());

    redo(offset);
    EXPECT_EQ(layerBytes(), typed);
    EXPECT_EQ(textBox()->text(), u"Hello there"_s);
    redo(offset);
    EXPECT_EQ(layerBytes(), moved);
    EXPECT_EQ(offset->text(), u"125"_s);

    // A change after an undo starts a new step and drops what was undone.
    undo(offset);
    retype(textBox(), u"X"_s);
    EXPECT_FALSE(history()->canRedo());
    undo(textBox());
    EXPECT_EQ(layerBytes(), typed);
}

TEST_F(History, EditsOfTheSameFieldSplitWhereTheUserMovedAway)
{
    open();
    const QByteArray original = layerBytes();
    textBox()->setFocus();
    retype(textBox(), u"One"_s);
    NumberBox *offset = find<NumberBox>("offsetVBox");
    offset->setFocus();
    retype(offset, u"7"_s);
    textBox()->setFocus();
    retype(textBox(), u"Two"_s);
    EXPECT_EQ(history()->count(), 3);
    undo(textBox());
    EXPECT_EQ(savedLayer().textContent, u"One"_s);
    undo(textBox());
    undo(textBox());
    EXPECT_EQ(layerBytes(), original);
}

TEST_F(History, EachClickIsAStepOfItsOwn)
{
    open();
    const QByteArray original = layerBytes();
    auto *shadow = find<QCheckBox>("addShadowCheck");
    shadow->setFocus();
    shadow->click();
    shadow->click();
    EXPECT_EQ(layerBytes(), original);
    EXPECT_EQ(history()->count(), 2);
    undo(shadow);
    EXPECT_TRUE(shadow->isChecked());
    EXPECT_NE(layerBytes(), original);
    undo(shadow);
    EXPECT_FALSE(shadow->isChecked());
    EXPECT_EQ(layerBytes(), original);
}

TEST_F(History, UndoShowsTheLayerItChanges)
{
    writeTemplate({newLayer(u"First"_s), newLayer(u"Second"_s)});
    open();
    const QByteArray second = layerBytes(1);
    choose(find<QComboBox>("layerList"), 1);
    EXPECT_FALSE(history()->canUndo()) << "selecting a layer is not a change";
    retype(textBox(), u"Changed"_s);
    choose(find<QComboBox>("layerList"), 0);

    undo(textBox());
    EXPECT_EQ(layerBytes(1), second);
    EXPECT_EQ(find<QComboBox>("layerList")->currentIndex(), 1);
    EXPECT_EQ(textBox()->text(), u"Second"_s);
}

TEST_F(History, LayerCommandsAreUndone)
{
    writeTemplate({newLayer(u"First"_s), newLayer(u"Second"_s)});
    open();
    const QByteArray templateBytes = ReadFileBytes(ModelFilePath(m_folder, u"Sample"_s));
    const QByteArray second = layerBytes(1);

    m_prompts.names.push_back(u"Extra"_s);
    runLayerCommand("layerButton", "addLayerAction");
    ASSERT_EQ(templateLayers().size(), 3);
    undo(textBox());
    EXPECT_EQ(templateLayers(), QStringList({layerName(0), layerName(1)}));
    EXPECT_FALSE(QFileInfo::exists(ModelFilePath(m_folder, u"Extra"_s)));
    redo(textBox());
    EXPECT_EQ(templateLayers().size(), 3);
    EXPECT_EQ(find<QComboBox>("layerList")->currentText(), u"Extra"_s);
    undo(textBox());

    choose(find<QComboBox>("layerList"), 1);
    m_prompts.names.push_back(u"Renamed"_s);
    runLayerCommand("layerButton", "renameLayerAction");
    m_prompts.answers.push_back(MessageAnswer::Yes);
    runLayerCommand("layerButton", "removeLayerAction");
    ASSERT_EQ(templateLayers(), QStringList({layerName(0)}));
    undo(textBox());
    EXPECT_EQ(templateLayers(), QStringList({layerName(0), u"Renamed"_s}));
    EXPECT_EQ(textBox()->text(), u"Second"_s);
    undo(textBox());
    EXPECT_EQ(ReadFileBytes(ModelFilePath(m_folder, u"Sample"_s)), templateBytes);
    EXPECT_EQ(layerBytes(1), second);
    EXPECT_FALSE(QFileInfo::exists(ModelFilePath(m_folder, u"Renamed"_s)));
    EXPECT_EQ(find<QComboBox>("imageLayerList")->currentText(), layerName(1));
}

TEST_F(History, TemplateWideSettingsAreUndone)
{
    open();
    const QString path = ModelFilePath(m_folder, u"Sample"_s);
    const QByteArray original = ReadFileBytes(path);
    auto *box = find<QCheckBox>("resistRemovalBox");
    box->setFocus();
    box->click();
    ASSERT_NE(ReadFileBytes(path), original);
    undo(box);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(find<QDoubleSpinBox>("warpDisplacementBox")->isEnabled());
    EXPECT_FALSE(history()->canUndo()) << "showing the file again is no new step";
}

} // namespace
} // namespace kw::test
