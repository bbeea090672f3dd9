#include "render/batch_engine.h"
#include "render/jpeg_dct.h"
#include "render/jpeg_keep_original.h"
#include "render/jpeg_lossless.h"
#include "render/loaded_template.h"
#include "render/mark_overlay.h"
#include "render/output_plan.h"
#include "render/photo_input_metadata.h"
#include "render/watermark_renderer.h"

#include "jpeg_test_codec.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_library.h"
#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw {
namespace {

// A noisy photo: every block holds detail, so a block that was copied can
// only match its source by being the same coefficients.
QImage NoisyPhoto(int width, int height, quint32 seed = 3)
{
    return test::PhotoLikeImage(width, height, seed);
}

TEST(JpegDct, InverseTransformMatchesLibjpegDecoding)
{
    // 4:4:4, so libjpeg's samples are its transform's output, unscaled.
    const QByteArray file = test::EncodeTestJpeg(NoisyPhoto(96, 80), {false, false, 0});
    const test::JpegCoefficients coefficients = test::ReadTestCoefficients(file);
    const QImage samples = test::DecodeTestJpeg(file, true);
    ASSERT_TRUE(coefficients.ok);
    ASSERT_FALSE(samples.isNull());
    int worst = 0;
    qint64 off = 0, total = 0;
    float block[kDctBlockSize];
    for (int c = 0; c < 3; ++c) {
        const auto &comp = coefficients.components[size_t(c)];
        for (int by = 0; by < comp.blocksHigh; ++by) {
            for (int bx = 0; bx < comp.blocksWide; ++bx) {
                InverseDctBlock(comp.block(bx, by), comp.quant.data(), block);
                for (int i = 0; i < kDctBlockSize; ++i) {
                    const int x = bx * 8 + i % 8, y = by * 8 + i / 8;
                    const int want = samples.constScanLine(y)[x * 3 + c];
                    const int diff = std::abs(int(std::lround(block[i])) - want);
                    worst = std::max(worst, diff);
                    off += diff != 0;
                    ++total;
                }
            }
        }
    }
    // libjpeg's integer transform rounds on the way; ours does not.
    EXPECT_LE(worst, 1);
    EXPECT_LT(double(off) / double(total), 0.05);
}

TEST(JpegDct, ForwardTransformUndoesTheInverse)
{
    const QByteArray file = test::EncodeTestJpeg(NoisyPhoto(64, 64), {true, false, 0});
    const test::JpegCoefficients coefficients = test::ReadTestCoefficients(file);
    ASSERT_TRUE(coefficients.ok);
    float samples[kDctBlockSize];
    int16_t again[kDctBlockSize];
    qint64 changed = 0, total = 0;
    for (const auto &comp : coefficients.components) {
        for (int by = 0; by < comp.blocksHigh; ++by) {
            for (int bx = 0; bx < comp.blocksWide; ++bx) {
                InverseDctBlock(comp.block(bx, by), comp.quant.data(), samples);
                ForwardDctBlock(samples, comp.quant.data(), again);
                for (int i = 0; i < kDctBlockSize; ++i)
                    changed += again[i] != comp.block(bx, by)[i];
                total += kDctBlockSize;
            }
        }
    }
    // Only samples clamped to 0 or 255 may move a coefficient.
    EXPECT_LT(double(changed) / double(total), 0.002) << changed << " of " << total;

    // A flat grey block is its DC alone.
    float grey[kDctBlockSize];
    std::fill(std::begin(grey), std::end(grey), 200.0f);
    const auto &quant = coefficients.components[0].quant;
    ForwardDctBlock(grey, quant.data(), again);
    EXPECT_EQ(again[0], std::lround(72.0 * 8 / quant[0]));
    EXPECT_TRUE(std::all_of(again + 1, again + kDctBlockSize, [](int16_t v) { return v == 0; }));
}

TEST(MarkOverlay, TurnsIntoTheStoredFrameLikeThePhoto)
{
    // A two-pixel mark on a 7 x 5 upright canvas lands where OrientToStored
    // puts the same pixels of the whole canvas.
    const QSize upright(7, 5);
    MarkOverlay overlay;
    overlay.origin = QPoint(4, 1);
    overlay.image = QImage(2, 3, QImage::Format_ARGB32_Premultiplied);
    overlay.image.fill(0);
    overlay.image.setPixel(0, 0, 0xff102030);
    overlay.image.setPixel(1, 2, 0x80404040);
    QImage canvas(upright, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0);
    canvas.setPixel(4, 1, 0xff102030);
    canvas.setPixel(5, 3, 0x80404040);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage want = OrientToStored(canvas, orientation);
        const MarkOverlay stored = OverlayToStored(overlay, upright, orientation);
        QImage got(want.size(), QImage::Format_ARGB32_Premultiplied);
        got.fill(0);
        for (int y = 0; y < stored.image.height(); ++y) {
            for (int x = 0; x < stored.image.width(); ++x)
                got.setPixel(stored.origin + QPoint(x, y), stored.image.pixel(x, y));
        }
        EXPECT_EQ(got, want) << "orientation " << orientation;
    }
}

// Batch runs over generated photos with the demo template, in a sandbox.
class KeepOriginalJpeg : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_templates = m_dir.filePath(u"templates"_s);
        ASSERT_TRUE(SeedFirstRun(m_templates).ok());
        m_settings.templatesFolder = m_templates;
        m_settings.templateName = kFirstRunTemplateName.toString();
        m_settings.preferences.outputFolderOpts = 1;
        m_settings.preferences.outputFolderPath = m_dir.filePath(u"out"_s);
        m_settings.preferences.outputFileNameOpts = 1;
        m_settings.preferences.outputFileNameSuffix = u"_kept"_s;
        m_settings.preferences.jpegOutput.mode = JpegOutputMode::KeepOriginal;
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(u"in/"_s + name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }
    BatchFileResult process(const QString &path, JpegOutputMode mode, const QString &suffix)
    {
        BatchSettings settings = m_settings;
        settings.preferences.jpegOutput.mode = mode;
        settings.preferences.outputFileNameSuffix = suffix;
        return processWith(path, settings);
    }
    // One photo as a run processes it: the template read once, the output
    // planned against the files on disk.
    BatchFileResult processWith(const QString &path, const BatchSettings &settings,
                                SharedTemplate mark = nullptr)
    {
        if (!mark)
            mark = runMark();
        ProtectedFiles sources;
        sources.add(path);
        const std::vector<PlannedOutput> plan =
            PlanOutputs({path}, settings.preferences, LookupOnDisk(sources));
        return ProcessBatchFile(path, plan.front(), settings, mark, &sources);
    }
    SharedTemplate runMark() const
    {
        Result<SharedTemplate> read = LoadTemplateForRender(m_templates, m_settings.templateName);
        EXPECT_TRUE(read) << read.error().toStdString();
        return read.valueOr(nullptr);
    }
    // The mark alone, in the stored frame of a photo of `stored` size.
    QImage storedMark(QSize stored, int orientation) const
    {
        const QSize upright = OrientedSize(stored, orientation);
        const Result<MarkOverlay> drawn = RenderMarkOverlay(upright, *runMark());
        EXPECT_TRUE(drawn);
        const MarkOverlay overlay = drawn.valueOr({});
        QImage canvas(upright, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(0);
        if (!overlay.image.isNull()) {
            for (int y = 0; y < overlay.image.height(); ++y) {
                for (int x = 0; x < overlay.image.width(); ++x)
                    canvas.setPixel(overlay.origin + QPoint(x, y), overlay.image.pixel(x, y));
            }
        }
        return OrientToStored(canvas, orientation);
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
    QString m_templates;
    BatchSettings m_settings;
};

// Which MCUs hold a pixel of the mark, or have one within a pixel of them.
std::vector<bool> MarkedMcus(const QImage &mark, int mcuWidth, int mcuHeight, int columns, int rows)
{
    std::vector<bool> marked(size_t(columns) * size_t(rows), false);
    for (int y = 0; y < mark.height(); ++y) {
        for (int x = 0; x < mark.width(); ++x) {
            if (qAlpha(mark.pixel(x, y)) == 0)
                continue;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int mx = (x + dx) / mcuWidth, my = (y + dy) / mcuHeight;
                    if (x + dx >= 0 && y + dy >= 0 && mx < columns && my < rows)
                        marked[size_t(my) * size_t(columns) + size_t(mx)] = true;
                }
            }
        }
    }
    return marked;
}

struct Comparison
{
    int copiedBlocksChanged = 0;
    int changedBlocks = 0;
    int pixelsChangedOutside = 0;
};

// Compares output and source outside the marked MCUs: coefficients block by
// block, and decoded pixels beyond one pixel around those MCUs.
Comparison CompareOutsideMark(const QByteArray &source, const QByteArray &output,
                              const QImage &mark)
{
    Comparison result;
    const test::JpegCoefficients a = test::ReadTestCoefficients(source);
    const test::JpegCoefficients b = test::ReadTestCoefficients(output);
    EXPECT_TRUE(a.ok && b.ok);
    if (!a.ok || !b.ok)
        return result;
    const int mcuWidth = 8 * a.maxH, mcuHeight = 8 * a.maxV;
    const int columns = (a.size.width() + mcuWidth - 1) / mcuWidth;
    const int rows = (a.size.height() + mcuHeight - 1) / mcuHeight;
    const std::vector<bool> marked = MarkedMcus(mark, mcuWidth, mcuHeight, columns, rows);
    for (size_t c = 0; c < a.components.size(); ++c) {
        const auto &ca = a.components[c];
        const auto &cb = b.components[c];
        for (int by = 0; by < ca.blocksHigh; ++by) {
            for (int bx = 0; bx < ca.blocksWide; ++bx) {
                const bool same =
                    std::equal(ca.block(bx, by), ca.block(bx, by) + 64, cb.block(bx, by));
                result.changedBlocks += !same;
                const int mx = bx / ca.h, my = by / ca.v;
                const bool inMark =
                    mx < columns && my < rows && marked[size_t(my) * size_t(columns) + size_t(mx)];
                result.copiedBlocksChanged += !same && !inMark;
            }
        }
    }
    const QImage pa = test::DecodeTestJpeg(source);
    const QImage pb = test::DecodeTestJpeg(output);
    for (int y = 0; y < pa.height(); ++y) {
        for (int x = 0; x < pa.width(); ++x) {
            bool nearMark = false;
            for (int dy = -1; dy <= 1 && !nearMark; ++dy) {
                for (int dx = -1; dx <= 1 && !nearMark; ++dx) {
                    const int px = x + dx, py = y + dy;
                    if (px < 0 || py < 0 || px >= pa.width() || py >= pa.height())
                        continue;
                    nearMark =
                        marked[size_t(py / mcuHeight) * size_t(columns) + size_t(px / mcuWidth)];
                }
            }
            if (!nearMark &&
                std::memcmp(pa.constScanLine(y) + x * 3, pb.constScanLine(y) + x * 3, 3) != 0)
                ++result.pixelsChangedOutside;
        }
    }
    return result;
}

// Mean absolute difference of two upright pictures over `box`.
double MeanAbsDiffIn(const QImage &a, const QImage &b, const QRect &box)
{
    return test::MeanAbsDiff(a.copy(box), b.copy(box));
}

TEST_F(KeepOriginalJpeg, CopiesEveryBlockOutsideTheMarkAndKeepsTheFrame)
{
    struct Case
    {
        test::JpegSpec spec;
        int orientation;
    };
    std::vector<Case> cases;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        cases.push_back({{true, false, 3}, orientation});
        cases.push_back({{false, true, 0}, orientation});
    }
    cases.push_back({{true, true, 2}, 1});
    cases.push_back({{false, false, 5}, 6});
    test::JpegSpec adobe;
    adobe.adobe = true;
    cases.push_back({adobe, 3});
    int index = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "4:" << (c.spec.subsampled ? "2:0" : "4:4") << " progressive "
                     << c.spec.progressive << " restart " << c.spec.restartInterval
                     << " orientation " << c.orientation);
        // Odd sizes, neither a multiple of 8 nor of 16; the mark sits in a corner.
        const QImage stored = NoisyPhoto(c.orientation >= 5 ? 211 : 301,
                                         c.orientation >= 5 ? 301 : 211, quint32(index));
        const QByteArray plain = test::EncodeTestJpeg(stored, c.spec);
        ASSERT_FALSE(plain.isEmpty());
        const QByteArray source = test::WithMetadata(plain, [&](Exiv2::Image &image) {
            image.exifData()["Exif.Image.Orientation"] = uint16_t(c.orientation);
            image.exifData()["Exif.Image.Artist"] = "Kelvane tester";
            image.xmpData()["Xmp.dc.title"] = "kept";
        });
        const QString path = write(u"p%1.jpg"_s.arg(index++), source);

        const BatchFileResult kept = process(path, JpegOutputMode::KeepOriginal, u"_kept"_s);
        ASSERT_TRUE(kept.ok()) << kept.error.toStdString();
        EXPECT_TRUE(kept.warning.isEmpty()) << kept.warning.toStdString();
        const QByteArray output = test::ReadFileBytes(kept.outputPath);

        const test::JpegCoefficients header = test::ReadTestCoefficients(output);
        ASSERT_TRUE(header.ok);
        EXPECT_EQ(header.size, stored.size());
        EXPECT_EQ(header.progressive, c.spec.progressive);
        EXPECT_EQ(header.restartInterval, c.spec.restartInterval);
        EXPECT_EQ(header.maxH, c.spec.subsampled ? 2 : 1);
        EXPECT_EQ(header.components[0].quant,
                  test::ReadTestCoefficients(source).components[0].quant);

        const QImage mark = storedMark(stored.size(), c.orientation);
        const Comparison compared = CompareOutsideMark(source, output, mark);
        EXPECT_EQ(compared.copiedBlocksChanged, 0);
        EXPECT_EQ(compared.pixelsChangedOutside, 0);
        EXPECT_GT(compared.changedBlocks, 0);

        const detail::MetadataRead metadata = detail::ReadPhotoMetadata(output, true);
        EXPECT_EQ(metadata.orientation, c.orientation);
        EXPECT_TRUE(metadata.metadata.exif.contains("Kelvane tester"));
        EXPECT_TRUE(metadata.metadata.xmp.contains("kept"));

        // Shown upright, the mark is where and what the quality-98 path draws.
        const BatchFileResult normal = process(path, JpegOutputMode::Quality98, u"_q98"_s);
        ASSERT_TRUE(normal.ok()) << normal.error.toStdString();
        const Result<DecodedPhoto> a = LoadPhoto(kept.outputPath);
        const Result<DecodedPhoto> b = LoadPhoto(normal.outputPath);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->image.size(), b->image.size());
        const Result<MarkOverlay> drawn = RenderMarkOverlay(a->image.size(), *runMark());
        ASSERT_TRUE(drawn);
        const MarkOverlay &upright = *drawn;
        ASSERT_FALSE(upright.image.isNull());
        const QRect box(upright.origin, upright.image.size());
        // Against the rendered, unencoded picture, both are within a few grey
        // levels; the kept one pays a second quantisation at the source's
        // quality in the blocks under the mark, and keeps the source's halved
        // chroma where the quality-98 path keeps it whole: it is compared
        // with the source's own coding of the marked picture.
        Result<DecodedPhoto> reference = LoadPhoto(path);
        ASSERT_TRUE(reference);
        CWatermarkRenderer::DrawTemplate(reference->image, reference->image.width(),
                                         reference->image.height(), *runMark());
        const double keptError = MeanAbsDiffIn(a->image, reference->image, box);
        double sameCodingError = MeanAbsDiffIn(b->image, reference->image, box);
        if (c.spec.subsampled) {
            QImage recoded;
            ASSERT_TRUE(recoded.loadFromData(test::EncodeTestJpeg(reference->image, c.spec)));
            sameCodingError =
                std::max(sameCodingError,
                         MeanAbsDiffIn(recoded.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                       reference->image, box));
        }
        EXPECT_LT(keptError, 4.0);
        EXPECT_LT(keptError, sameCodingError + 1.0);
    }
}

TEST_F(KeepOriginalJpeg, CoverTilesReencodeTheirBlocksOnly)
{
    const QString layer = FirstLayerName(m_settings.templateName);
    CWatermarkConf conf;
    ASSERT_TRUE(LoadLayerOverDefaults(m_templates, layer, conf));
    conf.BCoverImage = 1;
    ASSERT_TRUE(SaveLayerConf(m_templates, layer, conf));

    const QImage stored = NoisyPhoto(400, 300);
    const QByteArray source = test::EncodeTestJpeg(stored, {true, false, 0});
    const QString path = write(u"tiles.jpg"_s, source);
    const BatchFileResult kept = process(path, JpegOutputMode::KeepOriginal, u"_kept"_s);
    ASSERT_TRUE(kept.ok()) << kept.error.toStdString();
    EXPECT_TRUE(kept.warning.isEmpty()) << kept.warning.toStdString();
    const Comparison compared = CompareOutsideMark(source, test::ReadFileBytes(kept.outputPath),
                                                   storedMark(stored.size(), 1));
    EXPECT_EQ(compared.copiedBlocksChanged, 0);
    EXPECT_EQ(compared.pixelsChangedOutside, 0);
    EXPECT_GT(compared.changedBlocks, 50);
}

TEST_F(KeepOriginalJpeg, OtherSourcesAndSettingsTakeTheUsualPath)
{
    const QImage photo = NoisyPhoto(120, 90);
    struct Case
    {
        const char *name;
        QByteArray file;
        const char *note; // in the warning; nullptr: no note
    };
    test::JpegSpec grey;
    grey.grey = true;
    test::JpegSpec arithmetic;
    arithmetic.arithmetic = true;
    const Case cases[] = {
        {"grey.jpg", test::EncodeTestJpeg(photo, grey), "grey"},
        {"arith.jpg", test::EncodeTestJpeg(photo, arithmetic), "arithmetic"},
        // Not a JPEG by its name: the usual path, without a word.
        {"photo.png", test::Encode(photo, "png"), nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.isEmpty());
        const BatchFileResult result = process(write(QString::fromLatin1(c.name), c.file),
                                               JpegOutputMode::KeepOriginal, u"_x"_s);
        ASSERT_TRUE(result.ok()) << result.error.toStdString();
        if (c.note) {
            EXPECT_TRUE(result.warning.contains(u"quality 98"_s)) << result.warning.toStdString();
            EXPECT_TRUE(result.warning.contains(QString::fromLatin1(c.note)))
                << result.warning.toStdString();
        } else {
            EXPECT_TRUE(result.warning.isEmpty()) << result.warning.toStdString();
        }
        // Written by the quality-98 encoder: baseline 4:4:4 or 4:2:0 at its own tables.
        const test::JpegCoefficients out =
            test::ReadTestCoefficients(test::ReadFileBytes(result.outputPath));
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.components.size(), 3u);
    }

    // Resizing, or an output format other than JPEG: the mode does not apply.
    const QString path = write(u"r.jpg"_s, test::EncodeTestJpeg(photo, {}));
    EXPECT_FALSE(KeepOriginalJpegApplies(path, m_settings.preferences, true));
    EXPECT_EQ(KeepOriginalJpegInapplicableReason(m_settings.preferences, true),
              u"resizing is on: JPEGs are re-encoded at quality 98"_s);
    EXPECT_TRUE(KeepOriginalJpegInapplicableReason(m_settings.preferences, false).isEmpty());
    CPreferences png = m_settings.preferences;
    png.outputFormat = 1;
    EXPECT_FALSE(KeepOriginalJpegApplies(path, png, false));
    EXPECT_TRUE(KeepOriginalJpegInapplicableReason(png, true).isEmpty());
    BatchSettings resized = m_settings;
    resized.resize.scaleType = 1;
    resized.resize.targetWidth = 60;
    resized.resize.resizeEveryTime = 1;
    ASSERT_TRUE(resized.resize.resizeRequested());
    const BatchFileResult small = processWith(path, resized);
    ASSERT_TRUE(small.ok()) << small.error.toStdString();
    EXPECT_TRUE(small.warning.isEmpty());
    EXPECT_EQ(test::ReadTestCoefficients(test::ReadFileBytes(small.outputPath)).size.width(), 60);
}

TEST_F(KeepOriginalJpeg, WritesThePlannedNameUnderTheRunsRules)
{
    const QString out = m_dir.filePath(u"out"_s);
    ASSERT_TRUE(QDir().mkpath(out));
    const QByteArray source = test::EncodeTestJpeg(NoisyPhoto(160, 120), {true, false, 0});
    const QString path = write(u"a.jpg"_s, source);
    const QString taken = out + u"/a_kept.jpg"_s;
    ASSERT_TRUE(test::WriteFileBytes(taken, "earlier"));
    const auto kept = [](const BatchFileResult &result) {
        return result.ok() && !result.skipped && !result.warning.contains(u"quality 98"_s);
    };

    // Rename: the numbered name the plan made, the earlier file untouched.
    BatchSettings settings = m_settings;
    settings.preferences.collisionPolicy = OutputCollisionPolicy::Rename;
    const BatchFileResult renamed = processWith(path, settings);
    EXPECT_TRUE(kept(renamed)) << renamed.error.toStdString() << renamed.warning.toStdString();
    EXPECT_EQ(renamed.outputPath, out + u"/a_kept (2).jpg"_s);
    EXPECT_TRUE(test::ReadTestCoefficients(test::ReadFileBytes(renamed.outputPath)).ok);
    EXPECT_EQ(test::ReadFileBytes(taken), "earlier");

    // Skip: nothing is written.
    settings.preferences.collisionPolicy = OutputCollisionPolicy::Skip;
    const BatchFileResult skipped = processWith(path, settings);
    EXPECT_TRUE(skipped.skipped);
    EXPECT_EQ(test::ReadFileBytes(taken), "earlier");

    // Overwrite of a symbolic link: the link is replaced, the file it names
    // stays as it was.
    const QString elsewhere = m_dir.filePath(u"elsewhere.txt"_s);
    ASSERT_TRUE(test::WriteFileBytes(elsewhere, "not an output"));
    const QString linked = out + u"/b_kept.jpg"_s;
    ASSERT_TRUE(QFile::link(elsewhere, linked));
    const BatchFileResult overwritten = processWith(write(u"b.jpg"_s, source), m_settings);
    EXPECT_TRUE(kept(overwritten)) << overwritten.error.toStdString();
    EXPECT_EQ(overwritten.outputPath, linked);
    EXPECT_FALSE(QFileInfo(linked).isSymLink());
    EXPECT_TRUE(test::ReadTestCoefficients(test::ReadFileBytes(linked)).ok);
    EXPECT_EQ(test::ReadFileBytes(elsewhere), "not an output");
}

TEST_F(KeepOriginalJpeg, DrawsTheTemplateTheRunRead)
{
    const QImage stored = NoisyPhoto(200, 150);
    const QByteArray source = test::EncodeTestJpeg(stored, {true, false, 0});
    const QString path = write(u"t.jpg"_s, source);
    const SharedTemplate mark = runMark();
    ASSERT_TRUE(mark);
    const QImage expectedMark = storedMark(stored.size(), 1);

    // The template files are gone once the run has read them: the mark is
    // still drawn, from what was read.
    ASSERT_TRUE(QDir(m_templates).removeRecursively());
    const BatchFileResult result = processWith(path, m_settings, mark);
    ASSERT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_FALSE(result.warning.contains(u"quality 98"_s)) << result.warning.toStdString();
    const Comparison compared =
        CompareOutsideMark(source, test::ReadFileBytes(result.outputPath), expectedMark);
    EXPECT_GT(compared.changedBlocks, 0);
    EXPECT_EQ(compared.pixelsChangedOutside, 0);

    // No template for the run: the photo fails and nothing is written,
    // rather than a copy without its watermark.
    BatchSettings settings = m_settings;
    settings.preferences.outputFileNameSuffix = u"_none"_s;
    ProtectedFiles sources;
    sources.add(path);
    const PlannedOutput planned =
        PlanOutputs({path}, settings.preferences, LookupOnDisk(sources)).front();
    const BatchFileResult failed = ProcessBatchFile(path, planned, settings, nullptr, &sources);
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(QFileInfo::exists(planned.path));
}

// The overlay leaves out only what was never drawn: on canvases of whole
// photos (rows not a whole number of memory pages, marks at both ends of the
// memory) it holds every pixel a plain canvas gets.
TEST_F(KeepOriginalJpeg, OverlayHoldsEveryDrawnPixel)
{
    const QString layer = FirstLayerName(m_settings.templateName);
    for (const int location : {0, 4, 8}) {
        CWatermarkConf conf;
        ASSERT_TRUE(LoadLayerConf(m_templates, layer, conf));
        conf.Location = location;
        ASSERT_TRUE(SaveLayerConf(m_templates, layer, conf));
        for (const QSize size : {QSize(3000, 2000), QSize(1999, 3001)}) {
            SCOPED_TRACE(location);
            QImage plain(size, QImage::Format_ARGB32_Premultiplied);
            plain.fill(0);
            CWatermarkRenderer::DrawTemplate(plain, size.width(), size.height(), *runMark());
            const Result<MarkOverlay> overlay = RenderMarkOverlay(size, *runMark());
            ASSERT_TRUE(overlay);
            ASSERT_FALSE(overlay->image.isNull());
            const QRect box(overlay->origin, overlay->image.size());
            int inked = 0;
            for (int y = 0; y < size.height(); ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(plain.constScanLine(y));
                for (int x = 0; x < size.width(); ++x) {
                    const QPoint p(x, y);
                    const QRgb inOverlay =
                        box.contains(p) ? overlay->image.pixel(p - overlay->origin) : 0;
                    if (line[x] != inOverlay) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " differs";
                        return;
                    }
                    inked += line[x] != 0;
                }
            }
            EXPECT_GT(inked, 100);
        }
    }
}

TEST_F(KeepOriginalJpeg, DamagedSourceFailsAsBefore)
{
    const QByteArray whole = test::EncodeTestJpeg(NoisyPhoto(300, 200), {});
    const QString cut = write(u"cut.jpg"_s, whole.left(whole.size() * 2 / 3));
    const BatchFileResult result = process(cut, JpegOutputMode::KeepOriginal, u"_kept"_s);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(QFileInfo::exists(result.outputPath));
    EXPECT_TRUE(QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // The coefficient path itself refuses it, rather than copying zeros.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    EXPECT_FALSE(EncodeKeepingOriginalJpeg(cut, *runMark(), false, &sink));

    // A header that claims 60000 x 60000 pixels is refused before anything
    // of that size is made; the photo fails as it always did.
    QByteArray huge = test::EncodeTestJpeg(NoisyPhoto(64, 48), {});
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    huge[sof + 5] = huge[sof + 7] = char(0xEA);
    huge[sof + 6] = huge[sof + 8] = char(0x60);
    const QString hugePath = write(u"huge.jpg"_s, huge);
    const Result<KeptJpeg> refused = EncodeKeepingOriginalJpeg(hugePath, *runMark(), false, &sink);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(u"megapixels"_s)) << refused.error().toStdString();
    EXPECT_FALSE(process(hugePath, JpegOutputMode::KeepOriginal, u"_kept"_s).ok());
}

} // namespace
} // namespace kw
