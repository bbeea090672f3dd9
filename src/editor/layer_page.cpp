#include "editor/layer_page.h"

#include "controls/button_bar.h"
#include "editor/editor_page_support.h"
#include "editor/editor_session.h"
#include "editor/layer_list_box.h"
#include "editor/number_box.h"
#include "i18n/string_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace kw {

QMenu *CreateLayerMenu(QWidget *owner)
{
    auto *menu = new QMenu(owner);
    const auto add = [menu](const char *name, const QString &text, LayerCommand command) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setData(int(command));
    };
    add("addLayerAction", u"Add New Layer"_s, LayerCommand::Add);
    menu->addSeparator();
    add("renameLayerAction", u"Rename This Layer"_s, LayerCommand::Rename);
    menu->addSeparator();
    add("removeLayerAction", u"Remove This Layer"_s, LayerCommand::Remove);
    return menu;
}

LayerPage::LayerPage(EditorSession &session, const char *objectName, QWidget *parent)
    : QWidget(parent), m_session(session), m_record(session.record())
{
    setObjectName(QString::fromLatin1(objectName));
    StylePage(this);
    connect(&m_session, &EditorSession::layerChanged, this, &LayerPage::onLayerChanged);
}

QGridLayout *LayerPage::makeGrid()
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 8, 6, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    return grid;
}

void LayerPage::addLayerRow(QGridLayout *grid, int &row, const LayerRowNames &names)
{
    grid->addWidget(MakeLayersLabel(this, names.label), row, 0);
    m_layerList = new LayerListBox(this);
    m_layerList->setObjectName(QString::fromLatin1(names.list));
    grid->addWidget(m_layerList, row, 1, 1, 2);
    m_layerButton = MakeLayerButton(this, names.button);
    grid->addWidget(m_layerButton, row++, 3, Qt::AlignRight);
    grid->setRowMinimumHeight(row++, 6);

    m_layerMenu = CreateLayerMenu(this);
    m_layerMenu->setObjectName(QString::fromLatin1(names.menu));

    connect(m_layerList, &QComboBox::activated, &m_session, &EditorSession::selectLayer);
    connect(m_layerButton, &CButtonBar::commandClicked, this, &LayerPage::onLayerButton);
    connect(m_layerMenu, &QMenu::triggered, this, [this](QAction *action) {
        m_session.runLayerCommand(LayerCommand(action->data().toInt()), this);
    });
}

QComboBox *LayerPage::makeLocationList(const char *objectName)
{
    auto *list = new QComboBox(this);
    list->setObjectName(QString::fromLatin1(objectName));
    for (int code = 0; code < kLocationCodeCount; ++code)
        list->addItem(LocationName(LocationCode(code)));
    return list;
}

void LayerPage::onLayerChanged()
{
    if (m_layerList) {
        const QSignalBlocker blocker(m_layerList);
        const QStringList &layers = m_session.layers();
        bool same = m_layerList->count() == layers.size();
        for (int i = 0; same && i < layers.size(); ++i)
            same = m_layerList->itemText(i) == layers.at(i);
        if (!same) {
            m_layerList->clear();
            m_layerList->addItems(layers);
        }
        m_layerList->setCurrentIndex(m_session.currentIndex());
    }
    const FlagScope showing(m_showing);
    showRecord();
}

void LayerPage::onLayerButton(int command)
{
    if (command != kLayerButtonCommand)
        return;
    m_layerMenu->popup(m_layerButton->mapToGlobal(QPoint(0, m_layerButton->height())));
}

void LayerPage::commitUnlessShowing()
{
    if (!m_showing)
        m_session.requestCommit();
}

void LayerPage::onNumberTyped(NumberBox *box, int32_t CWatermarkConf::*field)
{
    m_record.*field = box->value();
    commitUnlessShowing();
}

void LayerPage::onSliderMoved(QSlider *slider, int32_t CWatermarkConf::*field)
{
    m_record.*field = slider->value();
    commitUnlessShowing();
}

void LayerPage::onLocationChosen(int index, const Anchor &anchor)
{
    if (index == m_record.*anchor.location)
        return; // the same anchor keeps its offsets
    CommitBatcher::Scope batch(m_session.commits());
    m_record.*anchor.location = index;
    m_record.*anchor.offsetH = 0;
    m_record.*anchor.offsetV = 0;
    anchor.offsetHBox->setNumber(0);
    anchor.offsetVBox->setNumber(0);
    if (anchor.relativeOffsetH) {
        m_record.*anchor.relativeOffsetH = 0;
        m_record.*anchor.relativeOffsetV = 0;
        showShare(anchor.offsetHShareBox, 0);
        showShare(anchor.offsetVShareBox, 0);
    }
    m_session.requestCommit();
}

QDoubleSpinBox *LayerPage::makeShareBox(const char *objectName, double minimum, double maximum)
{
    auto *box = new QDoubleSpinBox(this);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setDecimals(2);
    box->setRange(minimum, maximum);
    box->setSingleStep(0.1);
    box->setSuffix(u" %"_s);
    box->setAlignment(Qt::AlignRight);
    return box;
}

void LayerPage::showShare(QDoubleSpinBox *box, int32_t hundredths)
{
    const QSignalBlocker blocker(box);
    box->setValue(hundredths / 100.0);
}

void LayerPage::connectShareBox(QDoubleSpinBox *box, int32_t CWatermarkConf::*field,
                                int32_t minimum, int32_t maximum)
{
    connect(box, &QDoubleSpinBox::valueChanged, this,
            [this, field, minimum, maximum](double value) {
                m_record.*field =
                    int32_t(std::clamp<double>(std::round(value * 100), minimum, maximum));
                commitUnlessShowing();
            });
}

QCheckBox *LayerPage::makeOptionCheck(const char *objectName, const QString &text,
                                      int32_t CWatermarkConf::*field)
{
    auto *box = new QCheckBox(text, this);
    box->setObjectName(QString::fromLatin1(objectName));
    connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
        m_record.*field = on ? 1 : 0;
        m_session.requestCommit();
    });
    return box;
}

void LayerPage::showOffsets(const Anchor &anchor, bool relative)
{
    for (NumberBox *box : {anchor.offsetHBox, anchor.offsetVBox}) {
        const QSignalBlocker blocker(box);
        box->setNumber(m_record.*(box == anchor.offsetHBox ? anchor.offsetH : anchor.offsetV));
        box->setVisible(!relative);
    }
    showShare(anchor.offsetHShareBox, m_record.*anchor.relativeOffsetH);
    showShare(anchor.offsetVShareBox, m_record.*anchor.relativeOffsetV);
    anchor.offsetHShareBox->setVisible(relative);
    anchor.offsetVShareBox->setVisible(relative);
}

} // namespace kw
