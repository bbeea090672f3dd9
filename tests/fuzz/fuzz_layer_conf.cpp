// Loads arbitrary bytes as a layer file and saves records into it. Checks:
// a failed load leaves the record as it was; saving the loaded record back
// keeps the file loadable and reading it again gives the same record; a save
// of changed values reads back as those values wherever the elements can take
// a text; a save never touches a file that did not load, and a refused save
// leaves the file as it was.
//
// Saves go through a temporary file and a rename, which syncs to disk; point
// TMPDIR at a tmpfs (TMPDIR=/dev/shm) for a fast run.
#include "model/layer_file.h"
#include "model/watermark_conf.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A record whose every field differs from the new-layer values.
CWatermarkConf StartRecord()
{
    CWatermarkConf conf;
    int32_t next = 7001;
    for (const kw::LayerField &field : kw::LayerFields()) {
        if (field.text)
            conf.*field.text = u"start & <"_s + field.element.toString();
        else if (field.integer)
            conf.*field.integer = -(next++);
        else if (field.color)
            conf.*field.color = 0xFE000000u + kw::ColorRef(next++);
    }
    for (int i = 0; i < kw::LogFont::kSize; ++i)
        conf.Font.bytes()[i] = uint8_t(200 - i);
    return conf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString folder = dir.path();
    static const QString layer = u"fuzz"_s;
    static const QString path = folder + u"/fuzz.xml"_s;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!dir.isValid() || !WriteAll(path, input))
        return 0;

    const CWatermarkConf start = StartRecord();
    CWatermarkConf loaded = start;
    if (!kw::LoadLayerConf(folder, layer, loaded).ok()) {
        Check(loaded == start);
        // A save refuses what does not load and leaves the file alone.
        Check(!kw::SaveLayerConf(folder, layer, start).ok());
        Check(ReadAll(path) == input);
        return 0;
    }

    // Saving what was read changes no value. A file whose encoding cannot
    // hold the rewritten text is refused and stays as it was.
    if (!kw::SaveLayerConf(folder, layer, loaded).ok()) {
        Check(ReadAll(path) == input);
        return 0;
    }
    CWatermarkConf again = start;
    Check(kw::LoadLayerConf(folder, layer, again).ok());
    Check(again == loaded);

    // A second save of the same record writes nothing.
    const QByteArray settled = ReadAll(path);
    Check(kw::SaveLayerConf(folder, layer, loaded).ok());
    Check(ReadAll(path) == settled);

    // Changed values: every field then reads either its new value or, where
    // its element cannot take a text, what it read before.
    CWatermarkConf changed;
    kw::ApplyNewLayerDefaults(changed, u"a]]>&<b>\"'"_s);
    changed.ImagePathName = u" /x y/\u00e9.png "_s;
    if (!kw::SaveLayerConf(folder, layer, changed).ok()) {
        Check(ReadAll(path) == settled);
        return 0;
    }
    CWatermarkConf reread = start;
    Check(kw::LoadLayerConf(folder, layer, reread).ok());
    for (const kw::LayerField &field : kw::LayerFields()) {
        if (field.text)
            Check(reread.*field.text == changed.*field.text ||
                  reread.*field.text == loaded.*field.text);
        else if (field.font)
            Check(reread.*field.font == changed.*field.font ||
                  reread.*field.font == loaded.*field.font);
        else if (field.color)
            Check(reread.*field.color == changed.*field.color ||
                  reread.*field.color == loaded.*field.color);
        else
            Check(reread.*field.integer == changed.*field.integer ||
                  reread.*field.integer == loaded.*field.integer);
    }
    return 0;
}
