#pragma once

#include <QComboBox>

namespace kw {

// The drop-down list of a template's layers. popupAboutToShow() fires each
// time its list is about to open, before it is shown.
class LayerListBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit popupAboutToShow();
        QComboBox::showPopup();
    }

signals:
    void popupAboutToShow();
};

} // namespace kw
