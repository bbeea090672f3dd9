#include "editor/editor_page_support.h"

#include "controls/artwork.h"
#include "controls/button_bar.h"
#include "editor/number_box.h"
#include "i18n/language_file.h"
#include "i18n/string_table.h"

#include <QLabel>
#include <QSlider>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

std::pair<int32_t, int32_t> EditorRange(int32_t CWatermarkConf::*field)
{
    for (const LayerField &entry : LayerFields()) {
        if (entry.integer == field)
            return {entry.editorMin, entry.editorMax};
    }
    return {0, 0};
}

QColor ColorFromRef(ColorRef color)
{
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

ColorRef RefFromColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return RgbColor(uint8_t(rgb.red()), uint8_t(rgb.green()), uint8_t(rgb.blue()));
}

void StylePage(QWidget *page)
{
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, Qt::white);
    page->setPalette(palette);
    QFont font(u"Tahoma"_s);
    font.setPointSize(8);
    page->setFont(font);
}

QLabel *MakeLabel(QWidget *page, const char *objectName, const QString &text, int indent)
{
    auto *label = new QLabel(text, page);
    label->setObjectName(QString::fromLatin1(objectName));
    if (indent > 0)
        label->setIndent(indent);
    return label;
}

QLabel *MakeLayersLabel(QWidget *page, const char *objectName)
{
    QLabel *label = MakeLabel(page, objectName, u"Layers: "_s);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    return label;
}

CButtonBar *MakeLayerButton(QWidget *page, const char *objectName)
{
    auto *bar = new CButtonBar(page);
    bar->setObjectName(QString::fromLatin1(objectName));
    bar->setFixedSize(32, 24);
    const LanguageFile language = LanguageFile::open(GetLanguageFile());
    bar->setBitmaps(kBmpLayerButton, kBmpLayerButton, kBmpLayerButtonPressed, kBmpLayerButton,
                    &language);
    bar->addButton({kLayerButtonCommand, QRect(0, 0, 32, 24), kStrTipLayers, true});
    bar->setupTooltips(language);
    return bar;
}

void GreyText(QWidget *box)
{
    QPalette grey = box->palette();
    grey.setColor(QPalette::Text, QColor(128, 128, 128));
    box->setPalette(grey);
}

QSlider *MakeSlider(QWidget *page, const char *objectName, int32_t CWatermarkConf::*field)
{
    auto *slider = new QSlider(Qt::Horizontal, page);
    slider->setObjectName(QString::fromLatin1(objectName));
    const auto [minimum, maximum] = EditorRange(field);
    slider->setRange(minimum, maximum);
    slider->setTickPosition(QSlider::NoTicks);
    return slider;
}

NumberBox *MakeNumberBox(QWidget *page, const char *objectName, int32_t CWatermarkConf::*field,
                         bool alignRight)
{
    auto *box = new NumberBox(page);
    box->setObjectName(QString::fromLatin1(objectName));
    const auto [minimum, maximum] = EditorRange(field);
    box->setRange(minimum, maximum);
    if (alignRight)
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
}

void CommitBatcher::request()
{
    if (m_depth > 0)
        m_wanted = true;
    else
        m_commit();
}

CommitBatcher::Scope::~Scope()
{
    if (--m_batcher.m_depth == 0 && m_batcher.m_wanted) {
        m_batcher.m_wanted = false;
        m_batcher.m_commit();
    }
}

ClampedEntry ClampEntry(int32_t typed, int32_t minimum, int32_t maximum, bool settled)
{
    if (minimum > maximum)
        return {typed, false};
    const int32_t stored = std::clamp(typed, minimum, maximum);
    if (stored == typed)
        return {stored, false};
    const bool mayStillGrowIntoRange = typed >= 0 && typed < minimum;
    return {stored, settled || !mayStillGrowIntoRange};
}

} // namespace kw
