#include "app/list_style.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace kw {

namespace {

class RowHeightDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kListRowHeight);
        return size;
    }

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_HasFocus;
    }
};

} // namespace

void StyleReportList(QTreeView *view)
{
    view->setItemDelegate(new RowHeightDelegate(view));
    view->setAlternatingRowColors(true);
    view->header()->setHighlightSections(false);
    view->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setStyleSheet(
        QStringLiteral("QTreeView { background: #ffffff; alternate-background-color: #f4f6f8;"
                       "  border: 1px solid #7d8791; selection-background-color: #c9ebe5;"
                       "  selection-color: #14201e; outline: 0; }"
                       "QHeaderView::section { background: #e3e7eb; color: #26303b; border: none;"
                       "  border-right: 1px solid #c5ccd3; border-bottom: 1px solid #aab3bc;"
                       "  padding: 3px 6px; }"));
}

QBrush StatusBrush(int status)
{
    switch (status) {
    case 1:
        return QBrush(QColor(0x1e, 0x7d, 0x4f)); // OK
    case 2:
        return QBrush(QColor(0xc0, 0x39, 0x2b)); // Failed
    default:
        return QBrush(QColor(0x6b, 0x75, 0x7f)); // ready
    }
}

} // namespace kw
