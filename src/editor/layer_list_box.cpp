#include "editor/layer_list_box.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace kw {

namespace {
// Enough for the names of the first-run template's layers.
constexpr int kShownCharacters = 20;
} // namespace

LayerListBox::LayerListBox(QWidget *parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(kShownCharacters);
    view()->setTextElideMode(Qt::ElideMiddle);
    connect(this, &QComboBox::currentIndexChanged, this, &LayerListBox::updateToolTips);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &LayerListBox::updateToolTips);
    connect(model(), &QAbstractItemModel::dataChanged, this, &LayerListBox::updateToolTips);
}

QString LayerListBox::shownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, field.width() - 2);
}

void LayerListBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void LayerListBox::updateToolTips()
{
    setToolTip(currentText());
    for (int i = 0; i < count(); ++i) {
        if (itemData(i, Qt::ToolTipRole).toString() != itemText(i))
            setItemData(i, itemText(i), Qt::ToolTipRole);
    }
}

} // namespace kw
