#include "app/source_list.h"

#include "app/list_style.h"
#include "controls/user_prompts.h"

#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace kw {

namespace {

constexpr int kStatusColumnWidth = 55;

constexpr QStringView kPhotoExtensions[] = {u"jpg", u"jpeg", u"png", u"bmp",
                                            u"tif", u"tiff", u"gif"};

} // namespace

QString QtFileFilter(QStringView barSeparatedFilter)
{
    QStringList entries;
    const QList<QStringView> parts = barSeparatedFilter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed().toString();
        if (description.isEmpty())
            break; // the closing "||"
        // A description may name its patterns itself, "(*.tif;*.tiff)": Qt
        // would read them as one pattern, so they are replaced.
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open > 0)
                description = description.left(open).trimmed();
        }
        QStringList patterns;
        for (QStringView pattern : parts[i + 1].split(u';')) {
            pattern = pattern.trimmed();
            if (!pattern.isEmpty())
                patterns << pattern.toString();
        }
        if (!patterns.isEmpty())
            entries << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

bool IsSupportedPhotoName(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView extension = fileName.mid(dot + 1);
    return std::any_of(
        std::begin(kPhotoExtensions), std::end(kPhotoExtensions),
        [&](QStringView known) { return extension.compare(known, Qt::CaseInsensitive) == 0; });
}

bool NaturalPathLess(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Runs of digits compare by their value: "p2" before "p10".
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            QStringView runA = a.mid(i, endA - i);
            QStringView runB = b.mid(j, endB - j);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (const int c = runA.compare(runB); c != 0)
                return c < 0;
            i = endA;
            j = endB;
            continue;
        }
        // A folder's contents come before names that merely share its prefix.
        const QChar ca = a[i] == u'/' ? QChar(u'\x01') : a[i];
        const QChar cb = b[j] == u'/' ? QChar(u'\x01') : b[j];
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

QStringList ExpandDroppedPaths(const QStringList &paths)
{
    QStringList result;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            result << path;
            continue;
        }
        QStringList photos;
        QDirIterator it(path, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (IsSupportedPhotoName(file))
                photos << file;
        }
        std::sort(photos.begin(), photos.end(),
                  [](const QString &a, const QString &b) { return NaturalPathLess(a, b); });
        result << photos;
    }
    return result;
}

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
    m_lastFolder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
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
    request.folder = m_lastFolder;
    request.filter = QtFileFilter(kSourceFileFilter);
    request.multiple = true;
    const QStringList chosen = m_prompts.openFiles(window(), request);
    if (chosen.isEmpty())
        return 0;
    m_lastFolder = QFileInfo(chosen.first()).absolutePath();
    const int before = rowCount();
    const int added = appendPaths(chosen);
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
    QStringList dropped;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            dropped << url.toLocalFile();
    }
    const int added = appendPaths(ExpandDroppedPaths(dropped));
    resizeColumnToContents(kStatusColumn);
    if (columnWidth(kStatusColumn) < kStatusColumnWidth)
        setColumnWidth(kStatusColumn, kStatusColumnWidth);
    if (rowCount() > 0)
        scrollToItem(topLevelItem(rowCount() - 1));
    emit filesDropped(added);
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
