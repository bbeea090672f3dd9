#include "render/output_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr int kMaxNumber = 9999;

QString FileName(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

OutputFileLookup LookupOnDisk(const ProtectedFiles &sources)
{
    OutputFileLookup lookup;
    lookup.exists = [](const QString &path) {
        struct stat st;
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    };
    lookup.sourceRefusal = [&sources](const QString &output, const QString &source) {
        return RefuseOutputPath(output, source, &sources);
    };
    lookup.key = [](const QString &path) {
        // The folder as the file system knows it, so that two spellings of
        // one folder give one key; the file name as given.
        const QFileInfo info(path);
        QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (folder.isEmpty())
            folder = QDir::cleanPath(info.absolutePath());
        return folder + u'/' + info.fileName();
    };
    return lookup;
}

QString NumberedOutputPath(const QString &path, int number)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString mark = u" (%1)"_s.arg(number);
    if (dot <= slash + 1)
        return path + mark;
    return path.left(dot) + mark + path.mid(dot);
}

std::vector<PlannedOutput> PlanOutputs(const QStringList &sources, const CPreferences &prefs,
                                       const OutputFileLookup &lookup)
{
    using Policy = OutputCollisionPolicy;
    std::vector<PlannedOutput> plan(size_t(sources.size()));
    const Policy policy = prefs.collisionPolicy;
    const bool knownPolicy =
        policy == Policy::Overwrite || policy == Policy::Skip || policy == Policy::Rename;

    QHash<QString, int> takenBy; // key of a planned output -> its photo
    for (int i = 0; i < int(sources.size()); ++i) {
        PlannedOutput &out = plan[size_t(i)];
        const QString &source = sources.at(i);
        if (!knownPolicy) {
            out.error = u"output collision policy %1 is not 0 (overwrite), 1 (skip) or 2 "
                        u"(rename)"_s.arg(int32_t(policy));
            continue;
        }
        const Result<OutputTarget> target = ResolveOutputTarget(source, prefs);
        if (!target) {
            out.error = target.error();
            continue;
        }

        const auto taken = [&](const QString &path) { return takenBy.value(lookup.key(path), -1); };
        // Under Skip an existing file does not move a number on: the file
        // there is taken to be this photo's output from an earlier run of
        // the same job, and the photo is skipped below.
        const auto isFree = [&](const QString &path) {
            return taken(path) < 0 && lookup.sourceRefusal(path, source).isEmpty() &&
                   (policy != Policy::Rename || !lookup.exists(path));
        };
        const auto numbered = [&]() -> QString {
            for (int n = 2; n <= kMaxNumber; ++n) {
                const QString path = NumberedOutputPath(target->path, n);
                if (isFree(path))
                    return path;
            }
            return {};
        };

        out.path = target->path;
        if (const int earlier = taken(target->path); earlier >= 0) {
            // Taken by this run: numbered under every policy.
            out.path = numbered();
            out.note = u"%1 is the output of %2"_s.arg(FileName(target->path), sources.at(earlier));
            if (policy == Policy::Skip && !out.path.isEmpty() && lookup.exists(out.path)) {
                out.note = u"%1 exists"_s.arg(FileName(out.path));
                out.skip = true;
                takenBy.insert(lookup.key(out.path), i);
                continue;
            }
        } else if (const QString refusal = lookup.sourceRefusal(target->path, source);
                   !refusal.isEmpty()) {
            if (policy == Policy::Overwrite) {
                out.error = refusal;
                continue;
            }
            out.note = u"%1 is a source photo of this run"_s.arg(FileName(target->path));
            if (policy == Policy::Skip) {
                out.skip = true;
                continue;
            }
            out.path = numbered();
        } else if (policy != Policy::Overwrite && lookup.exists(target->path)) {
            out.note = u"%1 exists"_s.arg(FileName(target->path));
            if (policy == Policy::Skip) {
                // The name stays this photo's, so that the photos after it
                // get the names a run over an empty folder gives them: a
                // stopped job re-run with Skip writes exactly what is missing.
                out.skip = true;
                takenBy.insert(lookup.key(target->path), i);
                continue;
            }
            out.path = numbered();
        }
        if (out.path.isEmpty()) {
            out.path = target->path;
            out.error = u"no free name for the output: %1"_s.arg(out.note);
            continue;
        }
        if (!out.note.isEmpty())
            out.note = u"written as %1: %2"_s.arg(FileName(out.path), out.note);
        takenBy.insert(lookup.key(out.path), i);
    }
    return plan;
}

} // namespace kw
