#pragma once

#include "render/output_naming.h"
#include "settings/preferences.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The output plan of a batch run: every photo's output file, decided before
// any photo is rendered, in list order over the whole list. Two photos of a
// run never get one output file, so nothing a run writes is written over by
// the same run, and the names never depend on which render ends first.
namespace kw {

// What the run does with one photo's output.
struct PlannedOutput
{
    QString path;  // the file to write; empty when no name could be made
    QString error; // the photo fails with this reason before it is rendered
    // Why the photo is written under a numbered name, or why it is skipped.
    QString note;
    bool skip = false; // not rendered, not written, not failed

    bool failed() const { return !error.isEmpty(); }
};

// How the plan sees the files that exist before the run.
struct OutputFileLookup
{
    // Whether anything stands at `path` (a file, a folder, a link, also a
    // dangling one).
    std::function<bool(const QString &path)> exists;
    // Why `output` must not be written for `source`: it is that source or
    // another source photo of the run. Empty when it is none.
    std::function<QString(const QString &output, const QString &source)> sourceRefusal;
    // A text equal for two paths that name one file (the same folder reached
    // through a link, say).
    std::function<QString(const QString &path)> key;
};

// The lookup on the real file system; `sources` are the run's source photos.
OutputFileLookup LookupOnDisk(const ProtectedFiles &sources);

// `path` with " (n)" before its extension: "out/IMG_1_new.jpg", 2 gives
// "out/IMG_1_new (2).jpg".
QString NumberedOutputPath(const QString &path, int number);

// The plan for `sources` under `prefs` (names as ResolveOutputTarget gives
// them, the collision policy for files that exist before the run):
// - a name that an earlier photo of the list takes gets the first free
//   " (n)", n from 2, with a note naming the earlier photo;
// - a name at an existing file: Overwrite writes over it, Skip skips the
//   photo, Rename numbers it like a taken one. A photo Skip skips keeps its
//   name, and under Skip existing files do not change the numbers: every
//   name is the one a run into an empty folder gives, and the photos whose
//   file exists are skipped, so re-running a stopped job writes exactly the
//   missing ones, and runs that each take a share of one list agree;
// - a name at a source photo of the run: Overwrite fails the photo (a source
//   is never replaced), Skip skips it, Rename numbers it.
// A free number is one no earlier photo takes and no source photo holds,
// nor, under Rename, any existing file. Names a photo
// cannot have fail it with the reason (options out of range, a policy
// outside 0 to 2, no free number below 10000).
std::vector<PlannedOutput> PlanOutputs(const QStringList &sources, const CPreferences &prefs,
                                       const OutputFileLookup &lookup);

} // namespace kw
