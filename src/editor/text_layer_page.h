#pragma once

#include "editor/editor_page_support.h"
#include "model/watermark_conf.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;

namespace kw {

class ColorSwatch;
class EditorSession;
class CButtonBar;
class NumberBox;

// The layer menu's commands.
enum class LayerCommand : int { Add = 32774, Rename = 32775, Remove = 32776 };

// The layer menu: "Add New Layer", "Rename This Layer", "Remove This Layer",
// each action's data() holding its command number. Owned by `owner`.
QMenu *CreateLayerMenu(QWidget *owner);

} // namespace kw

class CImageLayerPage;

// The "Text" page of the template editor: one control for each field of the
// text part of a layer. It also owns the editor's layer handling: the layer
// list, loading the selected layer into the editing record, refreshing the
// image page, and the layer commands.
//
// Every change in a control is written into the editing record, saved at
// once into the current layer's file and redrawn in the live preview
// (CommitChange). Number boxes take the leading integer of their text; those
// with a range clamp to it and show the clamped number. Showing a record runs
// the same rules, so out-of-range values in a file are shown and saved back
// clamped. UI thread only.
class CTextLayerPage : public QWidget
{
    Q_OBJECT
public:
    CTextLayerPage(kw::EditorSession &session, QWidget *parent = nullptr);

    void setImagePage(CImageLayerPage *page) { m_imagePage = page; }

    // Fills the layer list, loads its first layer into the editing record and
    // shows it. Called once by the editor, after both pages exist.
    void SetUp();

    // Refills the layer list from the template file and selects the first
    // entry.
    void FillLayerList();
    // Sets every control from the editing record; then, with `save`, saves
    // the record (clamped as the controls show it) and redraws the preview
    // once.
    void ShowRecord(bool save = true);
    // Saves the editing record into the current layer's file, then redraws.
    void CommitChange();
    // Selects the layer at `index` in both pages' lists, loads it into the
    // editing record and shows it in both pages.
    void SelectLayer(int index);
    // Saves the editing record into the current layer's file, no redraw.
    void SaveRecord();

    // Whether the selected layer's file was read into the editing record. A
    // layer that cannot be read is shown with the values held before and is
    // not saved over until the user changes something.
    bool layerLoaded() const { return m_layerLoaded; }

    // The name of the selected layer; empty when the list is empty.
    QString currentLayerName() const;
    int currentLayerIndex() const;
    int layerCount() const;

    // The layer menu's commands, from this page's menu or the image page's.
    void OnLayerCommand(int command);
    QMenu *layerMenu() const { return m_layerMenu; }

private:
    void buildControls();

    // Handlers; each ends with a commit unless noted.
    void onTextChanged();
    void onChooseFont();
    void onLocationChosen(int index);
    void onPlainBox(kw::NumberBox *box, int32_t CWatermarkConf::*field);
    void onRotationBox();
    void onClampedBox(kw::NumberBox *box, int32_t CWatermarkConf::*field);
    void onTransparency();
    void onFlagClicked(QCheckBox *box, int32_t CWatermarkConf::*field);
    void onSwatchClicked(kw::ColorSwatch *swatch, kw::ColorRef CWatermarkConf::*field);
    void onLayerButton(int command);

    void addLayer();
    void renameLayer();
    void removeLayer();

    kw::EditorSession &m_session;
    CWatermarkConf &m_record;
    CImageLayerPage *m_imagePage = nullptr;

    kw::CommitBatcher m_commits;
    // Set while the record is being shown: clamped numbers replace the
    // box's text at once.
    bool m_showing = false;
    bool m_layerLoaded = true;

    QComboBox *m_layerList = nullptr;
    kw::CButtonBar *m_layerButton = nullptr;
    QMenu *m_layerMenu = nullptr;
    QLineEdit *m_textBox = nullptr;
    QLineEdit *m_fontBox = nullptr;
    QPushButton *m_chooseFont = nullptr;
    QComboBox *m_locationList = nullptr;
    kw::NumberBox *m_offsetH = nullptr;
    kw::NumberBox *m_offsetV = nullptr;
    kw::NumberBox *m_rotation = nullptr;
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
