#include "editor/editor_history.h"

#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kw {

Result<std::vector<FileState>> CaptureFiles(const QStringList &paths)
{
    std::vector<FileState> states;
    states.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        FileState state{path, std::nullopt};
        QFile file(path);
        if (file.exists()) {
            if (!file.open(QIODevice::ReadOnly))
                return Failure{u"\"%1\" cannot be read: %2"_s.arg(path, file.errorString())};
            state.bytes = file.readAll();
        }
        states.push_back(std::move(state));
    }
    return states;
}

Status RestoreFiles(const std::vector<FileState> &states)
{
    for (const FileState &state : states) {
        if (!state.bytes) {
            if (QFile::exists(state.path) && !QFile::remove(state.path))
                return Failure{u"\"%1\" cannot be removed."_s.arg(state.path)};
            continue;
        }
        QSaveFile file(state.path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*state.bytes) != state.bytes->size() ||
            !file.commit())
            return Failure{u"\"%1\" cannot be written: %2"_s.arg(state.path, file.errorString())};
    }
    return {};
}

FileEditCommand::FileEditCommand(const QString &text, std::vector<FileState> before,
                                 std::vector<FileState> after, EditPlace place, QString mergeKey,
                                 Apply apply)
    : QUndoCommand(text), m_before(std::move(before)), m_after(std::move(after)), m_place(place),
      m_mergeKey(std::move(mergeKey)), m_apply(std::move(apply))
{}

void FileEditCommand::undo()
{
    m_apply(m_before, m_place.layerBefore);
    m_applied = false;
}

void FileEditCommand::redo()
{
    if (!m_applied)
        m_apply(m_after, m_place.layerAfter);
    m_applied = true;
}

int FileEditCommand::id() const
{
    return m_mergeKey.isEmpty() ? -1 : kMergeableId;
}

bool FileEditCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const FileEditCommand *>(other);
    if (!next || next->m_mergeKey != m_mergeKey || m_after.size() != next->m_before.size())
        return false;
    for (size_t i = 0; i < m_after.size(); ++i) {
        if (m_after[i].path != next->m_before[i].path)
            return false;
    }
    m_after = next->m_after;
    m_place.layerAfter = next->m_place.layerAfter;
    setObsolete(m_after == m_before);
    return true;
}

} // namespace kw
