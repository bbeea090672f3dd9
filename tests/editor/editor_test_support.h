#pragma once

#include "editor/image_layer_page.h"
#include "editor/live_preview.h"
#include "editor/template_edit_dlg.h"
#include "editor/text_layer_page.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "support/scripted_prompts.h"

#include "support/test_sandbox.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QString>
#include <QStringList>

#include <memory>
#include <ostream>
#include <vector>

// Readable QString values in test failures.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kw::test {

// A templates folder with one template and its layers, and an editor open on
// it with scripted prompts.
class EditorFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Writes the template "Sample" with these layers (named "Layer A",
    // "Layer B", ...), replacing what was there.
    void writeTemplate(const std::vector<CWatermarkConf> &layers);
    QString layerName(int index) const;
    // A layer with the new-layer values and the given text.
    static CWatermarkConf newLayer(const QString &text = QStringLiteral("Sample"));

    // Opens the editor on "Sample", shows it and waits for its preview.
    void openEditor();
    // Closes it as the title bar's close button would.
    void closeEditor();
    // Waits until the preview has drawn the last change.
    void waitForPreview();

    // The layer as its file now holds it (read over the new-layer values).
    CWatermarkConf savedLayer(int index = 0) const;
    QByteArray layerBytes(int index = 0) const;
    QStringList templateLayers() const;

    template <typename T>
    T *find(const char *objectName) const
    {
        T *child = m_editor->findChild<T *>(QString::fromLatin1(objectName));
        EXPECT_NE(child, nullptr) << objectName;
        return child;
    }

    // Select-all and type, as a user replacing a box's text.
    void retype(QWidget *box, const QString &text);
    // Opens a drop-down list and clicks its entry.
    void choose(QComboBox *list, int index);
    // Clicks the layer button of a page and picks a command of its menu.
    void runLayerCommand(const char *buttonName, const char *actionName);
    void switchToTab(int index);

    TestSandbox m_sandbox;
    QString m_folder;
    ScriptedPrompts m_prompts;
    std::unique_ptr<CTemplateEditDlg> m_editor;
    int m_layerCount = 0;
};

// The part of a preview that differs from the bare sample photo: a picture
// whose ink (alpha) marks each changed pixel.
QImage WatermarkInk(const QImage &preview);

} // namespace kw::test
