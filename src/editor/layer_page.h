#pragma once

#include "model/watermark_conf.h"

#include <QWidget>

#include <cstdint>

class QComboBox;
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
// show the offsets.
struct Anchor
{
    int32_t CWatermarkConf::*location;
    int32_t CWatermarkConf::*offsetH;
    int32_t CWatermarkConf::*offsetV;
    NumberBox *offsetHBox;
    NumberBox *offsetVBox;
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
