#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTreeWidget>

namespace kw {

class UserPrompts;

// Drags that carry this MIME type come from the program itself and are never
// dropped onto the source list.
inline constexpr QStringView kPrivateDragMimeType =
    u"application/x-kelvanewatermark-3bcfe9d1-6d61-4cb6-9d0b-3bb3f643ca82";

// The photo filter of the "Add photo files" dialog, as pairs of a description
// and its patterns separated by vertical bars.
inline constexpr QStringView kSourceFileFilter =
    u"All Supported Files|*.jpg;*.jpeg;*.png;*.bmp;*.tif;*.tiff;*.gif|"
    u"Joint Photographic Experts (*.jpg)|*.jpg|Windows Bitmap Image (*.bmp)|*.bmp|"
    u"Portable Network Graphics (*.png)|*.png|"
    u"Tagged Image File Format (*.tif;*.tiff)|*.tif; *.tiff||";

// A filter of description|patterns pairs in Qt's file dialog syntax: each
// description (without a parenthesised pattern list of its own) followed by
// its patterns, blank-separated, in parentheses; entries joined by ";;".
QString QtFileFilter(QStringView barSeparatedFilter);

// Whether a file name has the extension of a photo the program reads (JPEG,
// PNG, BMP, TIFF, GIF), in any letter case.
bool IsSupportedPhotoName(QStringView fileName);

// Path order for people: runs of digits compare by value ("p2" before
// "p10"), everything else character by character; a folder's contents come
// before names that extend the folder's name.
bool NaturalPathLess(QStringView a, QStringView b);

// Dropped paths as rows: each folder replaced by the supported photos inside
// it and its subfolders (hidden ones and symbolic links to folders left out),
// in natural path order; every other path kept as it is, in its place.
QStringList ExpandDroppedPaths(const QStringList &paths);

// The source file list: the photos to watermark, one full path per row, with
// a status column ("ready", "OK", "Failed"). Rows are never sorted; the batch
// run walks them from the top. Several rows can be selected.
//
// User-interface thread only.
class CSourceList : public QTreeWidget
{
    Q_OBJECT
public:
    enum class Status { Ready, Ok, Failed, Skipped };

    static constexpr int kStatusColumn = 0;
    static constexpr int kPathColumn = 1;

    CSourceList(UserPrompts &prompts, QWidget *parent = nullptr);

    // "Add photo files": asks for photos with the filter above and appends
    // the ones not listed yet; the first appended row becomes the selection.
    // Returns the number of rows appended.
    int addSourceFiles();

    // Appends every path not listed yet (exact, case-sensitive comparison)
    // and not empty, with the status "ready". Returns the number appended.
    int appendPaths(const QStringList &paths);

    // Removes the selected rows and selects the row that took the place of
    // the first of them (the new last row when the removed ones were last).
    // Returns the number of rows removed.
    int removeSelected();

    int rowCount() const { return topLevelItemCount(); }
    QString pathAt(int row) const;
    QStringList paths() const;
    Status statusAt(int row) const;
    QString statusTextAt(int row) const;
    void setStatus(int row, Status status, const QString &tooltip = {});
    // Selects exactly `row`, makes it current and scrolls it into view.
    void selectOnly(int row);
    // The first selected row; -1 when none is.
    int firstSelectedRow() const;

    // For the output preview, each a full path or empty text:
    // the first selected row's path (row 0 is selected first when none is);
    QString GetCurrentSourceFile();
    // the next (previous) row's path, which becomes the only selected row;
    // empty, with nothing changed, when the current row is the last (first).
    QString SelectNextSourceFile();
    QString SelectPreviousSourceFile();

    static QString StatusText(Status status);

signals:
    // Files were dropped onto the list and `added` rows were appended.
    void filesDropped(int added);
    // A double-click hit the row.
    void rowActivated(int row);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool acceptsDrag(const QMimeData *mime) const;
    int currentRowForStepping();

    UserPrompts &m_prompts;
    QSet<QString> m_listed;
    QString m_lastFolder;
};

} // namespace kw
