#pragma once

#include "settings/preferences.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTreeWidget>

#include <functional>
#include <optional>

namespace kw {

class ThumbnailCache;
class UserPrompts;

// Drags that carry this MIME type come from the program itself and are never
// dropped onto the source list.
inline constexpr QStringView kPrivateDragMimeType =
    u"application/x-kelvanewatermark-3bcfe9d1-6d61-4cb6-9d0b-3bb3f643ca82";

// The source file list: the photos to watermark, one full path per row, with
// a status column ("ready", "OK", "Failed"). Rows are never sorted; the batch
// run walks them from the top. Several rows can be selected.
//
// Each path shows its photo's thumbnail (unless switched off). Rows appear at
// once; the thumbnails of the rows in view are made on worker threads and
// drawn as they arrive, from a cache of bounded size, so a list of thousands
// of photos stays quick to scroll and holds little memory.
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

    // "Add photo files": asks for photos of the supported kinds and appends
    // the ones not listed yet (files that cannot be processed are named in a
    // message); the first appended row becomes the selection.
    // Returns the number of rows appended.
    int addSourceFiles();

    // The folder the Add dialog opens in: the one photos were last added
    // from (set from the stored setting at start-up), else the user's
    // pictures folder, else home; always one that exists.
    void setLastFolder(const QString &folder) { m_lastFolder = folder; }
    QString startFolder() const;

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
    // The first (last) row's path, which becomes the only selected row;
    // empty when the list is.
    QString SelectFirstSourceFile();
    QString SelectLastSourceFile();

    static QString StatusText(Status status);

    // Thumbnails beside the paths (on at first).
    void setThumbnailsShown(bool shown);
    bool thumbnailsShown() const { return m_thumbnailsShown; }
    ThumbnailCache &thumbnails() const { return *m_thumbnails; }
    // The rows in view, first to last; empty when there are none.
    QList<int> rowsInView() const;
    static constexpr int kThumbnailSide = 40; // shown size; made at twice that

    // The output settings a run would use now, read when folders are
    // dropped: files named as that run's outputs, in a folder that receives
    // them, are left out, and so is an output folder inside a dropped one.
    using OutputSettingsSource = std::function<std::optional<CPreferences>()>;
    void setOutputSettingsSource(OutputSettingsSource source)
    {
        m_outputSettings = std::move(source);
    }

signals:
    // Files were dropped onto the list and `added` rows were appended.
    void filesDropped(int added);
    // What a drop left out, one sentence each ("2 earlier outputs left out").
    void dropNotes(const QStringList &notes);
    // A double-click hit the row.
    void rowActivated(int row);
    // Photos were added through the Add dialog from `folder`.
    void photoFolderChosen(const QString &folder);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool acceptsDrag(const QMimeData *mime) const;
    int currentRowForStepping();

    void requestThumbnailsInView();

    UserPrompts &m_prompts;
    ThumbnailCache *m_thumbnails = nullptr;
    bool m_thumbnailsShown = true;
    QSet<QString> m_listed;
    QString m_lastFolder;
    OutputSettingsSource m_outputSettings;
};

} // namespace kw
