#include "editor_test_support.h"

#include "render/font_mapping.h"
#include "render/watermark_renderer.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdlib>

using kw::CTemplateEditDlg;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw::test {

namespace {
const QString kTemplateName = u"Sample"_s;
} // namespace

void EditorFixture::SetUpTestSuite()
{
    RegisterWatermarkFonts();
}

void EditorFixture::SetUp()
{
    m_folder = m_sandbox.filePath(u"templates"_s);
    QDir().mkpath(m_folder);
    writeTemplate({newLayer()});
}

void EditorFixture::TearDown()
{
    m_editor.reset();
}

CWatermarkConf EditorFixture::newLayer(const QString &text)
{
    CWatermarkConf layer;
    ApplyNewLayerDefaults(layer, text);
    return layer;
}

QString EditorFixture::layerName(int index) const
{
    return u"Layer "_s + QChar(u'A' + index);
}

void EditorFixture::writeTemplate(const std::vector<CWatermarkConf> &layers)
{
    QString text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layers>\r\n"_s;
    for (size_t i = 0; i < layers.size(); ++i) {
        ASSERT_TRUE(CreateLayerFile(m_folder, layerName(int(i)), layers[i]));
        text += u"<layer>"_s + layerName(int(i)) + u"</layer>\r\n"_s;
    }
    text += u"</Layers>\r\n"_s;
    ASSERT_TRUE(WriteFileBytes(ModelFilePath(m_folder, kTemplateName), text.toUtf8()));
    m_layerCount = int(layers.size());
}

void EditorFixture::openEditor()
{
    m_editor = std::make_unique<CTemplateEditDlg>(m_folder, kTemplateName, m_prompts);
    m_editor->show();
    waitForPreview();
}

void EditorFixture::closeEditor()
{
    m_editor->close();
}

void EditorFixture::waitForPreview()
{
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_editor->livePreview().isBusy(); }, 10000));
    QCoreApplication::processEvents();
}

CWatermarkConf EditorFixture::savedLayer(int index) const
{
    CWatermarkConf layer;
    EXPECT_TRUE(LoadLayerOverDefaults(m_folder, layerName(index), layer));
    return layer;
}

QByteArray EditorFixture::layerBytes(int index) const
{
    return ReadFileBytes(ModelFilePath(m_folder, layerName(index)));
}

QStringList EditorFixture::templateLayers() const
{
    return ReadTemplateLayers(m_folder, kTemplateName);
}

void EditorFixture::retype(QWidget *box, const QString &text)
{
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(box))
        spin->selectAll();
    else if (auto *line = qobject_cast<QLineEdit *>(box))
        line->selectAll();
    QTest::keyClicks(box, text);
}

void EditorFixture::choose(QComboBox *list, int index)
{
    list->showPopup();
    QAbstractItemView *view = list->view();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }, 2000));
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([view] { return !view->isVisible(); }, 2000));
}

void EditorFixture::runLayerCommand(const char *buttonName, const char *actionName)
{
    QWidget *button = find<QWidget>(buttonName);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(16, 12));
    QMenu *menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QMenu *candidate : m_editor->findChildren<QMenu *>()) {
                if (candidate->isVisible())
                    menu = candidate;
            }
            return menu != nullptr;
        },
        2000))
        << "the layer menu did not open";
    // The menu opens just below the button.
    EXPECT_GE(menu->geometry().top(), button->mapToGlobal(QPoint(0, button->height())).y());
    QAction *action = menu->findChild<QAction *>(QString::fromLatin1(actionName));
    ASSERT_NE(action, nullptr) << actionName;
    menu->hide();
    action->trigger();
}

void EditorFixture::switchToTab(int index)
{
    QTabWidget *tabs = find<QTabWidget>("editorTabs");
    QTabBar *bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    ASSERT_EQ(tabs->currentIndex(), index);
}

QImage WatermarkInk(const QImage &preview)
{
    const QImage sample = SamplePhoto().convertToFormat(QImage::Format_ARGB32);
    const QImage shown = preview.convertToFormat(QImage::Format_ARGB32);
    QImage ink(shown.size(), QImage::Format_ARGB32);
    ink.fill(Qt::transparent);
    if (sample.size() != shown.size())
        return ink;
    for (int y = 0; y < shown.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(sample.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(shown.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(ink.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            const int difference = std::abs(qRed(a[x]) - qRed(b[x])) +
                                   std::abs(qGreen(a[x]) - qGreen(b[x])) +
                                   std::abs(qBlue(a[x]) - qBlue(b[x]));
            if (difference > 24)
                out[x] = qRgba(0, 0, 0, 255);
        }
    }
    return ink;
}

} // namespace kw::test
