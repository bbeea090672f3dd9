#include "render/photo_collection.h"

#include "render/photo_test_files.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

TEST(PhotoCollection, ExtensionsAndTheDialogFilter)
{
    for (QStringView name : {u"a.jpg", u"B.JPEG", u"c.Png", u"d.bmp", u"e.tif", u"f.TIFF", u"g.gif",
                             u"dir.jpg/h.gif", u"i.HEIC", u"j.heif", u"k.hif", u"l.avif"})
        EXPECT_TRUE(HasPhotoExtension(name)) << name.toString().toStdString();
    for (QStringView name : {u"a.txt", u"jpg", u"a.jpg.bak", u"", u"a.webp"})
        EXPECT_FALSE(HasPhotoExtension(name)) << name.toString().toStdString();
    // Whatever a folder gives, the dialog offers too, then kind by kind.
    EXPECT_EQ(PhotoOpenDialogFilter(),
              u"All Supported Files (*.jpg *.jpeg *.png *.bmp *.tif *.tiff *.gif *.heic *.heif "
              "*.hif *.avif);;"
              "Joint Photographic Experts (*.jpg);;Windows Bitmap Image (*.bmp);;"
              "Portable Network Graphics (*.png);;Tagged Image File Format (*.tif *.tiff);;"
              "High Efficiency Image File (*.heic *.heif *.hif);;AV1 Image File (*.avif)"_s);
}

TEST(PhotoCollection, NaturalOrder)
{
    const std::pair<QStringView, QStringView> ordered[] = {
        {u"/a/p2.jpg", u"/a/p10.jpg"}, {u"/a/p02.jpg", u"/a/p3.jpg"}, {u"/a/b/z.jpg", u"/a/b2.jpg"},
        {u"/a/a.jpg", u"/a/B.jpg"},    {u"/a/x.jpg", u"/a/x1.jpg"},   {u"/a/img9", u"/a/img10x"},
        {u"/a/01.jpg", u"/a/1.jpg"},   {u"/a/B.jpg", u"/a/b.jpg"},    {u"/a/b/z.jpg", u"/a/b.jpg"},
    };
    for (const auto &[first, second] : ordered) {
        EXPECT_TRUE(NaturalPathLess(first, second)) << first.toString().toStdString();
        EXPECT_FALSE(NaturalPathLess(second, first)) << first.toString().toStdString();
    }
    EXPECT_FALSE(NaturalPathLess(u"/same", u"/same"));
}

class PhotoFolders : public ::testing::Test
{
protected:
    QString file(const QString &name, const QByteArray &bytes = "x")
    {
        const QString path = m_sandbox.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }
    QString path(const QString &name) const { return m_sandbox.filePath(name); }
    QByteArray rawPath(const QString &folder, const QByteArray &name) const
    {
        return QFile::encodeName(path(folder)) + '/' + name;
    }
    static QStringList reasons(const PhotoCollection &c)
    {
        QStringList list;
        for (const RefusedPhoto &r : c.refused)
            list << r.shownPath + u": "_s + r.reason;
        return list;
    }

    test::TestSandbox m_sandbox;
};

TEST_F(PhotoFolders, FoldersGiveRegularPhotosInNaturalOrderAndNameWhatTheyCannotOpen)
{
    for (const char *name : {"in/p10.jpg", "in/p2.JPG", "in/B.png", "in/a.jpg", "in/notes.txt",
                             "in/.hidden.jpg", "in/sub/x.jpg", "in/.hid/y.jpg", "in/c/z.gif"})
        file(QString::fromLatin1(name));
    ASSERT_TRUE(QFile::link(path(u"in/a.jpg"_s), path(u"in/link.jpg"_s)));
    ASSERT_TRUE(QFile::link(path(u"in/sub"_s), path(u"in/linkdir"_s)));
    ASSERT_TRUE(QFile::link(path(u"in/gone.jpg"_s), path(u"in/dangling.jpg"_s)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"in/pipe.jpg"_s)).constData(), 0600), 0);
    const QByteArray notUtf8 = rawPath(u"in"_s, "bad\xE9.jpg");
    const int fd = ::open(notUtf8.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);

    const PhotoCollection flat = CollectPhotos(QStringList{path(u"in"_s)}, {});
    EXPECT_EQ(flat.photos,
              QStringList({path(u"in/a.jpg"_s), path(u"in/B.png"_s), path(u"in/link.jpg"_s),
                           path(u"in/p2.JPG"_s), path(u"in/p10.jpg"_s)}));
    const QStringList refused = reasons(flat);
    ASSERT_EQ(refused.size(), 3) << refused.join(u'\n').toStdString();
    EXPECT_TRUE(refused[0].startsWith(path(u"in/bad\\xE9.jpg: "_s))) << refused[0].toStdString();
    EXPECT_TRUE(refused[0].contains(u"not valid UTF-8"_s));
    EXPECT_TRUE(refused[1].contains(u"dangling.jpg: a symbolic link"_s));
    EXPECT_TRUE(refused[2].contains(u"pipe.jpg: not a regular file but a FIFO (named pipe)"_s));

    // Recursively: a subfolder's photos take its place; hidden folders and
    // links to folders are left out.
    PhotoCollectionOptions recursive;
    recursive.recursive = true;
    const PhotoCollection deep = CollectPhotos(QStringList{path(u"in"_s)}, recursive);
    EXPECT_EQ(deep.photos,
              QStringList({path(u"in/a.jpg"_s), path(u"in/B.png"_s), path(u"in/c/z.gif"_s),
                           path(u"in/link.jpg"_s), path(u"in/p2.JPG"_s), path(u"in/p10.jpg"_s),
                           path(u"in/sub/x.jpg"_s)}));

    // Named by itself, a file is taken whatever its name, hidden or missing
    // (it fails later with the decoder's reason); a pipe or a name that is
    // not UTF-8 is refused at once; each path once.
    const PhotoCollection named =
        CollectPhotos(QList<QByteArray>{QFile::encodeName(path(u"in/.hidden.jpg"_s)),
                                        QFile::encodeName(path(u"in/notes.txt"_s)),
                                        QFile::encodeName(path(u"in/missing.jpg"_s)),
                                        QFile::encodeName(path(u"in/pipe.jpg"_s)), notUtf8,
                                        QFile::encodeName(path(u"in/../in/notes.txt"_s))},
                      {});
    EXPECT_EQ(named.photos, QStringList({path(u"in/.hidden.jpg"_s), path(u"in/notes.txt"_s),
                                         path(u"in/missing.jpg"_s)}));
    EXPECT_EQ(named.refused.size(), 2u);
}

TEST_F(PhotoFolders, EarlierOutputsAndTheOutputFolderAreLeftOut)
{
    for (const char *name : {"in/IMG_1.jpg", "in/IMG_1_new.jpg", "in/IMG_2_new (2).JPG",
                             "in/IMG_3_new.png", "in/out/IMG_1_new.jpg", "in/sub/IMG_4_new.jpg"})
        file(QString::fromLatin1(name));
    CPreferences prefs;
    prefs.outputFolderOpts = 0;
    prefs.outputFileNameOpts = 1;
    prefs.outputFileNameSuffix = u"_new"_s;
    prefs.outputFormat = 0;
    PhotoCollectionOptions options;
    options.outputs = &prefs;

    // Beside the sources: in every folder, names of this naming go.
    options.recursive = true;
    PhotoCollection c = CollectPhotos(QStringList{path(u"in"_s)}, options);
    EXPECT_EQ(c.photos, QStringList({path(u"in/IMG_1.jpg"_s), path(u"in/IMG_3_new.png"_s)}));
    EXPECT_EQ(c.earlierOutputsLeftOut, 4);
    ASSERT_FALSE(c.notes.isEmpty());
    EXPECT_TRUE(c.notes[0].startsWith(u"4 earlier outputs left out"_s)) << c.notes[0].toStdString();

    // Into a folder of its own inside the input: that folder is not
    // descended into, and the sources' folder keeps every photo.
    prefs.outputFolderOpts = 1;
    prefs.outputFolderPath = path(u"in/out"_s);
    c = CollectPhotos(QStringList{path(u"in"_s)}, options);
    EXPECT_EQ(c.photos, QStringList({path(u"in/IMG_1.jpg"_s), path(u"in/IMG_1_new.jpg"_s),
                                     path(u"in/IMG_2_new (2).JPG"_s), path(u"in/IMG_3_new.png"_s),
                                     path(u"in/sub/IMG_4_new.jpg"_s)}));
    EXPECT_EQ(c.earlierOutputsLeftOut, 0);
    ASSERT_EQ(c.notes.size(), 1);
    EXPECT_TRUE(c.notes[0].contains(u"output folder"_s));

    // The output folder named as the input: its outputs go.
    options.recursive = false;
    c = CollectPhotos(QStringList{path(u"in/out"_s)}, options);
    EXPECT_TRUE(c.photos.isEmpty());
    EXPECT_EQ(c.earlierOutputsLeftOut, 1);

    // Without a suffix no output is named apart from its source.
    prefs.outputFolderOpts = 0;
    prefs.outputFileNameOpts = 0;
    c = CollectPhotos(QStringList{path(u"in"_s)}, options);
    EXPECT_EQ(c.photos.size(), 4);
    EXPECT_EQ(c.earlierOutputsLeftOut, 0);
}

} // namespace
} // namespace kw
