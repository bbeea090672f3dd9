#include "main_window_fixture.h"

#include "app/source_list.h"
#include "render/photo_collection.h"
#include "render/thumbnail_cache.h"

#include <QFileDialog>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using kw::CSourceList;
using kw::test::DropUrls;
using kw::test::WritePhoto;

class SourceListTest : public ::testing::Test
{
protected:
    SourceListTest() : list(prompts) { list.resize(600, 300); }

    QString file(const QString &name) const { return sandbox.filePath(name); }

    kw::test::TestSandbox sandbox;
    kw::ScriptedPrompts prompts;
    CSourceList list;
};

TEST_F(SourceListTest, DroppedFoldersGiveTheirPhotosInPathOrder)
{
    const QString a = WritePhoto(file(u"drop/a.jpg"_s));
    const QString b = WritePhoto(file(u"drop/B.jpg"_s));
    const QString p10 = WritePhoto(file(u"drop/sub/p10.png"_s));
    const QString p2 = WritePhoto(file(u"drop/sub/p2.PNG"_s));
    const QString deep = WritePhoto(file(u"drop/sub/deeper/z.tif"_s));
    kw::test::WriteFileBytes(file(u"drop/notes.txt"_s), "text");
    WritePhoto(file(u"drop/.hidden/h.jpg"_s));
    const QString loose = file(u"loose.txt"_s);
    kw::test::WriteFileBytes(loose, "any file dropped by itself is listed");

    ASSERT_TRUE(DropUrls(list.viewport(),
                         {QUrl::fromLocalFile(file(u"drop"_s)), QUrl::fromLocalFile(loose)}));
    EXPECT_EQ(list.paths(), (QStringList{a, b, deep, p2, p10, loose}));
    // Dropping the folder again adds nothing; the selection is left alone.
    ASSERT_TRUE(DropUrls(list.viewport(), {QUrl::fromLocalFile(file(u"drop/sub"_s))}));
    EXPECT_EQ(list.rowCount(), 6);
    EXPECT_EQ(list.firstSelectedRow(), -1);
    // An empty folder adds nothing.
    QDir().mkpath(file(u"empty"_s));
    ASSERT_TRUE(DropUrls(list.viewport(), {QUrl::fromLocalFile(file(u"empty"_s))}));
    EXPECT_EQ(list.rowCount(), 6);
    EXPECT_TRUE(prompts.messages.isEmpty());

    // A pipe dropped is not listed: a message names it and why.
    ASSERT_EQ(::mkfifo(QFile::encodeName(file(u"pipe.jpg"_s)).constData(), 0600), 0);
    ASSERT_TRUE(DropUrls(list.viewport(), {QUrl::fromLocalFile(file(u"pipe.jpg"_s))}));
    EXPECT_EQ(list.rowCount(), 6);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].text.contains(u"pipe.jpg: not a regular file"_s));

    // A name that is not UTF-8, in a dropped folder or dropped by itself, is
    // named with its bytes shown, not listed under a name that opens nothing.
    const QByteArray raw = QFile::encodeName(file(u"odd"_s)) + "/caf\xE9.jpg";
    QDir().mkpath(file(u"odd"_s));
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const QUrl odd(u"file://"_s + QString::fromLatin1(raw.toPercentEncoding("/")));
    for (const QUrl &url : {QUrl::fromLocalFile(file(u"odd"_s)), odd}) {
        prompts.messages.clear();
        ASSERT_TRUE(DropUrls(list.viewport(), {url}));
        EXPECT_EQ(list.rowCount(), 6) << url.toString().toStdString();
        ASSERT_EQ(prompts.messages.size(), 1) << url.toString().toStdString();
        EXPECT_TRUE(
            prompts.messages[0].text.contains(u"caf\\xE9.jpg: the name is not valid UTF-8"_s))
            << prompts.messages[0].text.toStdString();
    }
}

TEST_F(SourceListTest, DuplicatesAreExactPaths)
{
    const QString lower = file(u"x/photo.jpg"_s);
    EXPECT_EQ(list.appendPaths({lower, lower, QString(), file(u"x/PHOTO.jpg"_s)}), 2);
    EXPECT_EQ(list.appendPaths({lower}), 0);
    // A removed path can come back.
    list.selectOnly(0);
    EXPECT_EQ(list.removeSelected(), 1);
    EXPECT_EQ(list.appendPaths({lower}), 1);
    EXPECT_EQ(list.paths().last(), lower);
}

TEST_F(SourceListTest, SteppingForThePreview)
{
    EXPECT_EQ(list.GetCurrentSourceFile(), QString());
    EXPECT_EQ(list.SelectNextSourceFile(), QString());
    list.appendPaths({u"/p/1.jpg"_s, u"/p/2.jpg"_s, u"/p/3.jpg"_s});

    // Nothing selected: row 0 becomes the current row.
    EXPECT_EQ(list.GetCurrentSourceFile(), u"/p/1.jpg"_s);
    EXPECT_EQ(list.firstSelectedRow(), 0);
    EXPECT_EQ(list.SelectPreviousSourceFile(), QString());
    EXPECT_EQ(list.firstSelectedRow(), 0);
    EXPECT_EQ(list.SelectNextSourceFile(), u"/p/2.jpg"_s);
    EXPECT_EQ(list.SelectNextSourceFile(), u"/p/3.jpg"_s);
    EXPECT_EQ(list.selectedItems().size(), 1);
    // At the end: empty, and the last row stays selected.
    EXPECT_EQ(list.SelectNextSourceFile(), QString());
    EXPECT_EQ(list.firstSelectedRow(), 2);
    EXPECT_EQ(list.SelectPreviousSourceFile(), u"/p/2.jpg"_s);
    // Home and End of the preview.
    EXPECT_EQ(list.SelectFirstSourceFile(), u"/p/1.jpg"_s);
    EXPECT_EQ(list.firstSelectedRow(), 0);
    EXPECT_EQ(list.SelectLastSourceFile(), u"/p/3.jpg"_s);
    EXPECT_EQ(list.firstSelectedRow(), 2);
    EXPECT_EQ(list.selectedItems().size(), 1);
    list.clear();
    EXPECT_EQ(list.SelectFirstSourceFile(), QString());
    EXPECT_EQ(list.SelectLastSourceFile(), QString());
}

TEST_F(SourceListTest, StatusesAndReasons)
{
    list.appendPaths({u"/p/1.jpg"_s, u"/p/2.jpg"_s});
    list.setStatus(0, CSourceList::Status::Ok);
    list.setStatus(1, CSourceList::Status::Failed, u"cannot decode photo"_s);
    EXPECT_EQ(list.statusTextAt(0), u"OK"_s);
    EXPECT_EQ(list.statusTextAt(1), u"Failed"_s);
    EXPECT_EQ(list.statusAt(1), CSourceList::Status::Failed);
    const QTreeWidgetItem *failed = list.topLevelItem(1);
    EXPECT_EQ(failed->toolTip(CSourceList::kStatusColumn), u"cannot decode photo"_s);
    EXPECT_TRUE(failed->toolTip(CSourceList::kPathColumn).contains(u"cannot decode photo"_s));
    // The status colours differ, so a failure stands out.
    EXPECT_NE(failed->foreground(0).color(), list.topLevelItem(0)->foreground(0).color());
    list.setStatus(7, CSourceList::Status::Ok); // no such row: nothing happens
}

} // namespace

namespace {

// Rows come at once; thumbnails fill in for the rows in view while the list
// is already in use.
TEST_F(SourceListTest, TheListIsUsableBeforeItsThumbnailsAreDone)
{
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QStringList photos;
    for (int i = 0; i < 150; ++i)
        photos << WritePhoto(file(u"many/p%1.jpg"_s.arg(i, 3, 10, QChar(u'0'))), QSize(640, 480));
    EXPECT_EQ(list.appendPaths(photos), 150);
    EXPECT_EQ(list.rowCount(), 150);
    EXPECT_TRUE(list.thumbnails().thumbnail(photos[0]).isNull()); // not made on the way in
    list.repaint();
    // Asked for the rows in view only, not made yet.
    const QList<int> inView = list.rowsInView();
    ASSERT_FALSE(inView.isEmpty());
    EXPECT_LT(inView.size(), 20);
    EXPECT_GT(list.thumbnails().pendingCount(), 0);
    EXPECT_LE(list.thumbnails().pendingCount(), inView.size());
    list.selectOnly(3);
    EXPECT_EQ(list.removeSelected(), 1);
    EXPECT_EQ(list.rowCount(), 149);

    ASSERT_TRUE(kw::test::WaitFor([&] {
        list.repaint();
        return list.thumbnails().pendingCount() == 0 &&
               !list.thumbnails().thumbnail(list.pathAt(inView.last())).isNull();
    }));
    EXPECT_EQ(list.thumbnails().thumbnail(list.pathAt(0)).size(), QSize(80, 60));
    // The rows out of view were never asked for.
    EXPECT_TRUE(list.thumbnails().thumbnail(list.pathAt(140)).isNull());
    EXPECT_EQ(list.thumbnails().pendingCount(), 0);

    // Without thumbnails the rows are one line high again.
    const int tall = list.visualItemRect(list.topLevelItem(0)).height();
    list.setThumbnailsShown(false);
    EXPECT_LT(list.visualItemRect(list.topLevelItem(0)).height(), tall);
}

} // namespace
