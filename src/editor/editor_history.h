#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUndoCommand>

#include <functional>
#include <optional>
#include <vector>

namespace kw {

// One file's content at a moment: its bytes, or nothing when it did not
// exist.
struct FileState
{
    QString path;
    std::optional<QByteArray> bytes;

    friend bool operator==(const FileState &, const FileState &) = default;
};

// The files' states now; a file that exists but cannot be read fails.
Result<std::vector<FileState>> CaptureFiles(const QStringList &paths);

// Puts every file back as `states` hold it: writes the bytes whole (through a
// temporary file) or removes the file. Stops at the first failure.
Status RestoreFiles(const std::vector<FileState> &states);

// Where an edit leaves the editor: the layer shown before and after it
// (index in the template's list).
struct EditPlace
{
    int layerBefore = 0;
    int layerAfter = 0;
};

// An edit of the editor that is already made, kept as the states of the files
// it touched before and after it, so any field of a layer or template file is
// covered without knowing it. Undo and redo hand the states to `apply`, which
// writes them and shows the layer given.
//
// Consecutive edits with the same non-empty merge key (the same fields of the
// same layer in one burst of typing or dragging) become one step; a step that
// ends where it began is dropped.
class FileEditCommand : public QUndoCommand
{
public:
    using Apply = std::function<void(const std::vector<FileState> &states, int layer)>;

    FileEditCommand(const QString &text, std::vector<FileState> before,
                    std::vector<FileState> after, EditPlace place, QString mergeKey, Apply apply);

    void undo() override;
    void redo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

    // The id of commands that may merge.
    static constexpr int kMergeableId = 0x4b57;

private:
    std::vector<FileState> m_before;
    std::vector<FileState> m_after;
    EditPlace m_place;
    QString m_mergeKey;
    Apply m_apply;
    bool m_applied = true; // pushed after the edit was made
};

} // namespace kw
