#include "app/source_list.h"

#include "app/list_style.h"
#include "controls/user_prompts.h"
#include "render/photo_collection.h"
#include "render/thumbnail_cache.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr int kStatusColumnWidth = 55;
// Thumbnails kept: about 1,300 of the largest (80 x 80); the rows in view
// are asked for again whenever they are drawn.
constexpr qint64 kThumbnailBytes = 32 * 1024 * 1024;

// Draws the path column with the photo's thumbnail from the cache, or an
// empty square of the same size while it is being made.
class ThumbnailDelegate : public QStyledItemDelegate
{
public:
    explicit ThumbnailDelegate(CSourceList &list) : QStyledItemDelegate(&list), m_list(list) {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != CSourceList::kPathColumn || !m_list.thumbnailsShown())
            return;
        const int side = CSourceList::kThumbnailSide;
        QImage thumb = m_list.thumbnails().thumbnail(index.data().toString());
        QPixmap shown(QSize(side, side) * m_list.devicePixelRatio());
        shown.setDevicePixelRatio(m_list.devicePixelRatio());
        shown.fill(Qt::transparent);
        if (!thumb.isNull()) {
            thumb.setDevicePixelRatio(
                qreal(thumb.width() > thumb.height() ? thumb.width() : thumb.height()) / side);
            QPainter painter(&shown);
            const QSizeF size = thumb.deviceIndependentSize();
            painter.drawImage(QPointF((side - size.width()) / 2, (side - size.height()) / 2),
                              thumb);
        }
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = QIcon(shown);
        option->decorationSize = QSize(side, side);
    }

private:
    CSourceList &m_list;
};

// Shows what a drop or the Add dialog named but cannot be processed.
void ReportRefused(UserPrompts &prompts, QWidget *parent, const PhotoCollection &collection)
{
    if (collection.refused.empty())
        return;
    QStringList lines;
    for (const RefusedPhoto &refused : collection.refused)
        lines << refused.shownPath + u": "_s + refused.reason;
    prompts.message(parent,
                    u"These files cannot be processed and were not added:\n"_s + lines.join(u'\n'),
                    MessageIcon::Warning);
}

} // namespace

CSourceList::CSourceList(UserPrompts &prompts, QWidget *parent)
    : QTreeWidget(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("sourceList"));
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Status"), QStringLiteral("Source Files")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideMiddle);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
    header()->resizeSection(kStatusColumn, kStatusColumnWidth);
    StyleReportList(this);
    m_thumbnails = new ThumbnailCache(2 * kThumbnailSide, kThumbnailBytes, this);
    connect(m_thumbnails, &ThumbnailCache::thumbnailReady, viewport(),
            qOverload<>(&QWidget::update));
    setItemDelegateForColumn(kPathColumn, new ThumbnailDelegate(*this));
    setIconSize(QSize(kThumbnailSide, kThumbnailSide));
}

void CSourceList::setThumbnailsShown(bool shown)
{
    if (shown == m_thumbnailsShown)
        return;
    m_thumbnailsShown = shown;
    setIconSize(shown ? QSize(kThumbnailSide, kThumbnailSide) : QSize());
    // Rows take their new height.
    doItemsLayout();
    viewport()->update();
}

QList<int> CSourceList::rowsInView() const
{
    QList<int> rows;
    const QModelIndex first = indexAt(QPoint(1, 1));
    if (!first.isValid())
        return rows;
    const int height = viewport()->height();
    for (int row = first.row(); row < rowCount(); ++row) {
        const QRect rect = visualItemRect(topLevelItem(row));
        if (rect.top() >= height)
            break;
        rows << row;
    }
    return rows;
}

void CSourceList::requestThumbnailsInView()
{
    if (!m_thumbnailsShown)
        return;
    QStringList wanted;
    for (int row : rowsInView())
        wanted << pathAt(row);
    m_thumbnails->request(wanted);
}

QString CSourceList::startFolder() const
{
    // A folder that exists: a path that names none makes the file dialog
    // take its last part for a file name and fill it in.
    const QString candidates[] = {
        m_lastFolder, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        QDir::homePath()};
    for (const QString &folder : candidates) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return QDir(folder).absolutePath() + u'/';
    }
    return {};
}

QString CSourceList::StatusText(Status status)
{
    switch (status) {
    case Status::Ready:
        return QStringLiteral("ready");
    case Status::Ok:
        return QStringLiteral("OK");
    case Status::Failed:
        return QStringLiteral("Failed");
    case Status::Skipped:
        return QStringLiteral("Skipped");
    }
    return {};
}

int CSourceList::addSourceFiles()
{
    OpenFilesRequest request;
    request.caption = QStringLiteral("Add photo files");
    request.folder = startFolder();
    request.filter = PhotoOpenDialogFilter();
    request.multiple = true;
    const QStringList chosen = m_prompts.openFiles(window(), request);
    if (chosen.isEmpty())
        return 0;
    m_lastFolder = QFileInfo(chosen.first()).absolutePath();
    emit photoFolderChosen(m_lastFolder);
    const PhotoCollection collection = CollectPhotos(chosen, {});
    ReportRefused(m_prompts, window(), collection);
    const int before = rowCount();
    const int added = appendPaths(collection.photos);
    if (added > 0)
        selectOnly(before);
    return added;
}

int CSourceList::appendPaths(const QStringList &paths)
{
    QList<QTreeWidgetItem *> items;
    for (const QString &path : paths) {
        if (path.isEmpty() || m_listed.contains(path))
            continue;
        m_listed.insert(path);
        auto *item = new QTreeWidgetItem;
        item->setText(kPathColumn, path);
        item->setToolTip(kPathColumn, path);
        items << item;
    }
    addTopLevelItems(items);
    for (QTreeWidgetItem *item : items)
        setStatus(indexOfTopLevelItem(item), Status::Ready);
    return int(items.size());
}

int CSourceList::removeSelected()
{
    QList<int> rows;
    for (QTreeWidgetItem *item : selectedItems())
        rows << indexOfTopLevelItem(item);
    if (rows.isEmpty())
        return 0;
    std::sort(rows.begin(), rows.end());
    const int first = rows.first();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        QTreeWidgetItem *item = takeTopLevelItem(*it);
        m_listed.remove(item->text(kPathColumn));
        delete item;
    }
    if (rowCount() > 0)
        selectOnly(std::min(first, rowCount() - 1));
    return int(rows.size());
}

QString CSourceList::pathAt(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(kPathColumn) : QString();
}

QStringList CSourceList::paths() const
{
    QStringList list;
    list.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        list << pathAt(row);
    return list;
}

CSourceList::Status CSourceList::statusAt(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return Status::Ready;
    return static_cast<Status>(item->data(kStatusColumn, Qt::UserRole).toInt());
}

QString CSourceList::statusTextAt(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(kStatusColumn) : QString();
}

void CSourceList::setStatus(int row, Status status, const QString &tooltip)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return;
    item->setText(kStatusColumn, StatusText(status));
    item->setData(kStatusColumn, Qt::UserRole, static_cast<int>(status));
    item->setForeground(kStatusColumn, StatusBrush(static_cast<int>(status)));
    item->setToolTip(kStatusColumn, tooltip);
    // The reason of a failure shows over the whole row.
    item->setToolTip(kPathColumn, tooltip.isEmpty() ? item->text(kPathColumn)
                                                    : item->text(kPathColumn) + u'\n' + tooltip);
}

void CSourceList::selectOnly(int row)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return;
    setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollToItem(item);
}

int CSourceList::firstSelectedRow() const
{
    int first = -1;
    for (QTreeWidgetItem *item : selectedItems()) {
        const int row = indexOfTopLevelItem(item);
        if (first < 0 || row < first)
            first = row;
    }
    return first;
}

int CSourceList::currentRowForStepping()
{
    int row = firstSelectedRow();
    if (row < 0 && rowCount() > 0) {
        row = 0;
        selectOnly(0);
    }
    return row;
}

QString CSourceList::GetCurrentSourceFile()
{
    return pathAt(currentRowForStepping());
}

QString CSourceList::SelectNextSourceFile()
{
    const int row = currentRowForStepping();
    if (row < 0 || row + 1 >= rowCount())
        return {};
    selectOnly(row + 1);
    return pathAt(row + 1);
}

QString CSourceList::SelectPreviousSourceFile()
{
    const int row = currentRowForStepping();
    if (row <= 0)
        return {};
    selectOnly(row - 1);
    return pathAt(row - 1);
}

QString CSourceList::SelectFirstSourceFile()
{
    if (rowCount() == 0)
        return {};
    selectOnly(0);
    return pathAt(0);
}

QString CSourceList::SelectLastSourceFile()
{
    if (rowCount() == 0)
        return {};
    selectOnly(rowCount() - 1);
    return pathAt(rowCount() - 1);
}

bool CSourceList::acceptsDrag(const QMimeData *mime) const
{
    if (!mime || !mime->hasUrls() || mime->hasFormat(kPrivateDragMimeType.toString()))
        return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

void CSourceList::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrag(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CSourceList::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsDrag(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CSourceList::dropEvent(QDropEvent *event)
{
    if (!acceptsDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The paths' bytes, as the file system stores them: toLocalFile() would
    // decode a name that is not UTF-8 lossily.
    QList<QByteArray> dropped;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            dropped << QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    }
    PhotoCollectionOptions options;
    options.recursive = true;
    const std::optional<CPreferences> outputs =
        m_outputSettings ? m_outputSettings() : std::nullopt;
    if (outputs)
        options.outputs = &*outputs;
    const PhotoCollection collection = CollectPhotos(dropped, options);
    const int added = appendPaths(collection.photos);
    resizeColumnToContents(kStatusColumn);
    if (columnWidth(kStatusColumn) < kStatusColumnWidth)
        setColumnWidth(kStatusColumn, kStatusColumnWidth);
    if (rowCount() > 0)
        scrollToItem(topLevelItem(rowCount() - 1));
    emit filesDropped(added);
    if (!collection.notes.isEmpty())
        emit dropNotes(collection.notes);
    ReportRefused(m_prompts, window(), collection);
}

void CSourceList::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    QTreeWidgetItem *item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton)
        emit rowActivated(indexOfTopLevelItem(item));
}

void CSourceList::paintEvent(QPaintEvent *event)
{
    requestThumbnailsInView();
    QTreeWidget::paintEvent(event);
    if (rowCount() > 0)
        return;
    // An empty list says how photos get in.
    QPainter painter(viewport());
    painter.setPen(QColor(0x8a, 0x94, 0x9e));
    painter.drawText(viewport()->rect().adjusted(20, 0, -20, 0), Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("Drop photos or folders here, or click Add"));
}

} // namespace kw
