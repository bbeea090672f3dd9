#pragma once

#include <QComboBox>

namespace kw {

// The drop-down list of a template's layers. popupAboutToShow() fires each
// time its list is about to open, before it is shown.
//
// Its width does not follow the names: a long name is shown cut with an
// ellipsis, in full in the tooltip and in the open list.
class LayerListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit LayerListBox(QWidget *parent = nullptr);

    void showPopup() override
    {
        emit popupAboutToShow();
        QComboBox::showPopup();
    }

    // The text the closed box shows.
    QString shownText() const;

signals:
    void popupAboutToShow();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateToolTips();
};

} // namespace kw
