#include "render/output_plan.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

// A file system of names only: what exists, and which names are sources.
struct FakeFolder
{
    QSet<QString> existing;
    QSet<QString> sources;

    OutputFileLookup lookup() const
    {
        OutputFileLookup l;
        l.exists = [this](const QString &path) { return existing.contains(path); };
        l.sourceRefusal = [this](const QString &output, const QString &source) {
            if (output == source)
                return u"the output would replace the source photo"_s;
            return sources.contains(output)
                       ? u"the output would replace another source photo of this batch"_s
                       : QString();
        };
        l.key = [](const QString &path) { return path; };
        return l;
    }
};

CPreferences IntoOut(OutputCollisionPolicy policy)
{
    CPreferences prefs;
    prefs.outputFolderOpts = 1;
    prefs.outputFolderPath = u"/out"_s;
    prefs.outputFileNameOpts = 1;
    prefs.outputFileNameSuffix = u"_new"_s;
    prefs.collisionPolicy = policy;
    return prefs;
}

TEST(OutputPlan, NumbersInListOrderAndFollowsThePolicyForExistingFiles)
{
    using Policy = OutputCollisionPolicy;
    const QStringList sources = {u"/a/IMG.jpg"_s, u"/b/IMG.jpg"_s, u"/c/IMG.png"_s,
                                 u"/a/other.jpg"_s};
    FakeFolder disk;
    disk.existing = {u"/out/IMG_new (2).jpg"_s, u"/out/other_new.jpg"_s};

    // Overwrite: existing files are replaced, the run's own names are not.
    std::vector<PlannedOutput> plan =
        PlanOutputs(sources, IntoOut(Policy::Overwrite), disk.lookup());
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_EQ(plan[0].path, u"/out/IMG_new.jpg"_s);
    EXPECT_TRUE(plan[0].note.isEmpty());
    EXPECT_EQ(plan[1].path, u"/out/IMG_new (2).jpg"_s);
    EXPECT_EQ(plan[1].note,
              u"written as IMG_new (2).jpg: IMG_new.jpg is the output of /a/IMG.jpg"_s);
    EXPECT_EQ(plan[2].path, u"/out/IMG_new (3).jpg"_s);
    EXPECT_EQ(plan[3].path, u"/out/other_new.jpg"_s);

    // Rename: a number that exists is not free either.
    plan = PlanOutputs(sources, IntoOut(Policy::Rename), disk.lookup());
    EXPECT_EQ(plan[0].path, u"/out/IMG_new.jpg"_s);
    EXPECT_EQ(plan[1].path, u"/out/IMG_new (3).jpg"_s);
    EXPECT_EQ(plan[2].path, u"/out/IMG_new (4).jpg"_s);
    EXPECT_EQ(plan[3].path, u"/out/other_new (2).jpg"_s);
    EXPECT_EQ(plan[3].note, u"written as other_new (2).jpg: other_new.jpg exists"_s);

    // Skip: what exists is skipped, and the names are those of a run into an
    // empty folder, so a stopped run re-run with Skip writes what is missing.
    const QStringList wholeRun = {u"/out/IMG_new.jpg"_s, u"/out/IMG_new (2).jpg"_s,
                                  u"/out/IMG_new (3).jpg"_s, u"/out/other_new.jpg"_s};
    for (const qsizetype written : {0, 1, 2, 4}) {
        disk.existing = {wholeRun.begin(), wholeRun.begin() + written};
        plan = PlanOutputs(sources, IntoOut(Policy::Skip), disk.lookup());
        for (qsizetype i = 0; i < 4; ++i) {
            EXPECT_EQ(plan[size_t(i)].path, wholeRun[i]) << written << " " << i;
            EXPECT_EQ(plan[size_t(i)].skip, i < written) << written << " " << i;
            EXPECT_FALSE(plan[size_t(i)].failed());
        }
    }
    EXPECT_EQ(plan[1].note, u"IMG_new (2).jpg exists"_s);
    // A file of someone else's at a number is not written over either.
    disk.existing = {u"/out/IMG_new (2).jpg"_s};
    plan = PlanOutputs(sources, IntoOut(Policy::Skip), disk.lookup());
    EXPECT_FALSE(plan[0].skip);
    EXPECT_TRUE(plan[1].skip);
    EXPECT_EQ(plan[2].path, u"/out/IMG_new (3).jpg"_s);
    EXPECT_FALSE(plan[2].skip);
}

TEST(OutputPlan, SourcesAtOutputNamesAndNamesThatCannotBeMade)
{
    using Policy = OutputCollisionPolicy;
    CPreferences inPlace = IntoOut(Policy::Overwrite);
    inPlace.outputFolderOpts = 0;
    inPlace.outputFileNameOpts = 0;
    const QStringList sources = {u"/a/x.jpg"_s, u"/a/y.png"_s};
    FakeFolder disk;
    disk.sources = {sources.begin(), sources.end()};
    disk.existing = disk.sources;

    std::vector<PlannedOutput> plan = PlanOutputs(sources, inPlace, disk.lookup());
    EXPECT_EQ(plan[0].error, u"the output would replace the source photo"_s);
    inPlace.collisionPolicy = Policy::Skip;
    plan = PlanOutputs(sources, inPlace, disk.lookup());
    EXPECT_TRUE(plan[0].skip);
    EXPECT_EQ(plan[0].note, u"x.jpg is a source photo of this run"_s);
    inPlace.collisionPolicy = Policy::Rename;
    plan = PlanOutputs(sources, inPlace, disk.lookup());
    EXPECT_EQ(plan[0].path, u"/a/x (2).jpg"_s);
    EXPECT_EQ(plan[1].path, u"/a/y.jpg"_s); // free: the sources are x.jpg and y.png

    inPlace.collisionPolicy = OutputCollisionPolicy(3);
    EXPECT_TRUE(PlanOutputs(sources, inPlace, disk.lookup())[0].error.contains(u"policy 3"_s));
    inPlace.collisionPolicy = Policy::Rename;
    inPlace.outputFormat = 9;
    EXPECT_TRUE(PlanOutputs(sources, inPlace, disk.lookup())[1].failed());

    // Every number taken: the photo fails rather than replace anything.
    FakeFolder full;
    full.existing.insert(u"/out/IMG_new.jpg"_s);
    for (int n = 2; n <= 9999; ++n)
        full.existing.insert(u"/out/IMG_new (%1).jpg"_s.arg(n));
    plan = PlanOutputs({u"/a/IMG.jpg"_s}, IntoOut(Policy::Rename), full.lookup());
    EXPECT_TRUE(plan[0].error.startsWith(u"no free name"_s)) << plan[0].error.toStdString();

    EXPECT_EQ(NumberedOutputPath(u"/o/a.b.jpg"_s, 2), u"/o/a.b (2).jpg"_s);
    EXPECT_EQ(NumberedOutputPath(u"/o.d/name"_s, 3), u"/o.d/name (3)"_s);
}

} // namespace
} // namespace kw
