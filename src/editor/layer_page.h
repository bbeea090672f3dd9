#pragma once

#include "model/watermark_conf.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QMenu;
class QSlider;

namespace kw {

class CButtonBar;
class EditorSession;
class LayerListBox;
class NumberBox;

// The layer menu: "Add New Layer", "Rename This Layer", "Remove This Layer",
// each action's data() holding its LayerCommand. Owned by `owner`.
QMenu *CreateLayerMenu(QWidget *owner);

// The object names of a page's layer row.
struct LayerRowNames
{
    const char *label;
    const char *list;
    const char *button;
    const char *menu;
};

// The fields that anchor a text or a picture on the photo, and the boxes that
// show the offsets: in pixels, or as shares of the photo while the part
// scales with the photo.
struct Anchor
{
    int32_t CWatermarkConf::*location;
    int32_t CWatermarkConf::*offsetH;
    int32_t CWatermarkConf::*offsetV;
    NumberBox *offsetHBox;
    NumberBox *offsetVBox;
    int32_t CWatermarkConf::*relativeOffsetH = nullptr;
    int32_t CWatermarkConf::*relativeOffsetV = nullptr;
    QDoubleSpinBox *offsetHShareBox = nullptr;
    QDoubleSpinBox *offsetVShareBox = nullptr;
};

// What both pages of the editor share: the view of the session's layer list
// with the layer button and menu, and the handlers of controls both pages
// have. A page writes every change into the session's record and asks the
// session to commit it; when the session's layer changes, the page shows the
// record again. UI thread only.
class LayerPage : public QWidget
{
    Q_OBJECT
protected:
    LayerPage(EditorSession &session, const char *objectName, QWidget *parent);

    // Sets every control from the record. Runs with m_showing set: handlers
    // it triggers clamp the record as the controls show it but commit
    // nothing (the session commits once afterwards).
    virtual void showRecord() = 0;

    // The page's grid, with the margins and spacing both pages use.
    QGridLayout *makeGrid();
    // The first row (the "Layers: " label, the layer list and the layer
    // button) and a gap below it; also makes the layer menu.
    void addLayerRow(QGridLayout *grid, int &row, const LayerRowNames &names);
    // A list of the location names, in code order.
    QComboBox *makeLocationList(const char *objectName);

    // A box for a share of the photo, in per cent with two decimals; the
    // field it edits holds hundredths of a per cent.
    QDoubleSpinBox *makeShareBox(const char *objectName, double minimum, double maximum);
    // Sets the box without running its handler.
    static void showShare(QDoubleSpinBox *box, int32_t hundredths);
    // Stores the box's share in `field` (within `minimum` and `maximum`)
    // and commits, on every change.
    void connectShareBox(QDoubleSpinBox *box, int32_t CWatermarkConf::*field, int32_t minimum,
                         int32_t maximum);
    // A check box for an on/off option stored in `field`; each click
    // stores and commits.
    QCheckBox *makeOptionCheck(const char *objectName, const QString &text,
                               int32_t CWatermarkConf::*field);
    // Shows the anchor's offsets: the share boxes while `relative`, else the
    // pixel boxes, each showing the record's value.
    void showOffsets(const Anchor &anchor, bool relative);

    // Handlers.
    void onNumberTyped(NumberBox *box, int32_t CWatermarkConf::*field);
    void onSliderMoved(QSlider *slider, int32_t CWatermarkConf::*field);
    void onLocationChosen(int index, const Anchor &anchor);
    // Asks the session for a commit unless the record is being shown.
    void commitUnlessShowing();

    EditorSession &m_session;
    CWatermarkConf &m_record;
    bool m_showing = false;
    LayerListBox *m_layerList = nullptr;

private:
    void onLayerChanged();
    void onLayerButton(int command);

    CButtonBar *m_layerButton = nullptr;
    QMenu *m_layerMenu = nullptr;
};

} // namespace kw
