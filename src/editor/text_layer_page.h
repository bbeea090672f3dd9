#pragma once

#include "editor/layer_page.h"
#include "model/watermark_conf.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace kw {

class ColorSwatch;
class EditorSession;
class NumberBox;

// The "Text" page of the template editor: one control for each field of the
// text part of a layer, a view of the editor's session.
//
// Every change in a control is written into the editing record, saved at
// once into the current layer's file and redrawn in the live preview. While
// "Scale with the photo" is on, the text's size is a share of the photo's
// shorter side and its offsets shares of the photo's width and height. Number
// boxes take the leading integer of their text; those with a range clamp to
// it and show the clamped number. Showing a record runs the same rules, so
// out-of-range values in a file are shown and saved back clamped. UI thread
// only.
class CTextLayerPage : public kw::LayerPage
{
    Q_OBJECT
public:
    explicit CTextLayerPage(kw::EditorSession &session, QWidget *parent = nullptr);

private:
    void showRecord() override;

    // One builder per group of controls, top to bottom; each adds its rows
    // to the grid and connects its handlers.
    void addTextRows(QGridLayout *grid, int &row);
    void addPlacementRows(QGridLayout *grid, int &row);
    void addShadowRows(QGridLayout *grid, int &row);
    void addFillRow(QGridLayout *grid, int &row);
    void addEdgeRows(QGridLayout *grid, int &row);
    void addThreeDRows(QGridLayout *grid, int &row);
    void addGradientRows(QGridLayout *grid, int &row);
    void addCoverRow(QGridLayout *grid, int &row);

    // The rows of an effect with a colour, a number and a list (edge, 3D
    // text): its check box, then an indented colour swatch with the number
    // box beside it, then an indented list. The list's entry i stores
    // i + listOffset.
    struct EffectRowsPlan
    {
        const char *checkName;
        QString checkText;
        int32_t CWatermarkConf::*flag;
        const char *colorLabelName;
        const char *colorName;
        kw::ColorRef CWatermarkConf::*color;
        const char *numberLabelName;
        QString numberLabel;
        const char *numberName;
        int32_t CWatermarkConf::*number;
        const char *listLabelName;
        QString listLabel;
        const char *listName;
        QStringList entries;
        int32_t CWatermarkConf::*listField;
        int listOffset;
    };
    struct EffectRows
    {
        QCheckBox *check = nullptr;
        kw::ColorSwatch *color = nullptr;
        kw::NumberBox *number = nullptr;
        QComboBox *list = nullptr;
    };
    EffectRows addEffectRows(QGridLayout *grid, int &row, const EffectRowsPlan &plan);

    // Connection helpers; each handler ends with a commit unless noted.
    void connectFlag(QCheckBox *box, int32_t CWatermarkConf::*field);
    void connectClamped(kw::NumberBox *box, int32_t CWatermarkConf::*field);
    void connectSwatch(kw::ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field);
    // A list whose entry at `index` stores `index + offset`.
    void connectList(QComboBox *list, int32_t CWatermarkConf::*field, int offset = 0);

    void onScaleWithPhoto(bool on);
    // Shows the size and offsets in pixels or as shares of the photo.
    void showScale();
    void onTextChanged();
    void onChooseFont();
    void onRotationBox();
    void onClampedBox(kw::NumberBox *box, int32_t CWatermarkConf::*field);
    void onSwatchClicked(kw::ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field);
    kw::Anchor anchor() const;

    QLineEdit *m_textBox = nullptr;
    QLineEdit *m_fontBox = nullptr;
    QPushButton *m_chooseFont = nullptr;
    QComboBox *m_locationList = nullptr;
    kw::NumberBox *m_offsetH = nullptr;
    kw::NumberBox *m_offsetV = nullptr;
    kw::NumberBox *m_rotation = nullptr;
    QCheckBox *m_turnAboutAnchor = nullptr;
    QCheckBox *m_scaleWithPhoto = nullptr;
    QDoubleSpinBox *m_sizeShare = nullptr;
    QDoubleSpinBox *m_offsetHShare = nullptr;
    QDoubleSpinBox *m_offsetVShare = nullptr;
    QSlider *m_transparency = nullptr;
    QCheckBox *m_addShadow = nullptr;
    kw::NumberBox *m_shadowH = nullptr;
    kw::NumberBox *m_shadowV = nullptr;
    kw::NumberBox *m_shadowBlur = nullptr;
    kw::NumberBox *m_shadowAlpha = nullptr;
    QCheckBox *m_fillText = nullptr;
    kw::ColorSwatch *m_textColor = nullptr;
    QCheckBox *m_drawEdge = nullptr;
    kw::ColorSwatch *m_edgeColor = nullptr;
    kw::NumberBox *m_edgeAlpha = nullptr;
    QComboBox *m_lineThickness = nullptr;
    QCheckBox *m_threeD = nullptr;
    kw::ColorSwatch *m_threeDColor = nullptr;
    kw::NumberBox *m_threeDOffset = nullptr;
    QComboBox *m_threeDPosition = nullptr;
    QCheckBox *m_gradient = nullptr;
    kw::ColorSwatch *m_gradientBegin = nullptr;
    kw::ColorSwatch *m_gradientEnd = nullptr;
    QCheckBox *m_coverImage = nullptr;
    QComboBox *m_coverMethod = nullptr;
};

} // namespace kw
