// Loads arbitrary bytes as an INI file, reads it, writes two values and checks
// that nothing else changed: a load and toBytes() give back the input exactly,
// written values read back, and other values keep theirs.
//
// Every input is saved through a temporary file and a rename, which syncs to
// disk; point TMPDIR at a tmpfs (TMPDIR=/dev/shm) for a fast run.
#include "platform/ini_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

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

bool SameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(u"fuzz.ini"_s);
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!dir.isValid() || !WriteAll(path, input))
        return 0;

    kw::IniFile file = kw::IniFile::load(path);
    Check(file.state() == kw::IniFile::State::Loaded);
    Check(file.toBytes() == input);

    // A section and key named by the input's first bytes, so the fuzzer can
    // reach names that occur in the file.
    const QString ownSection = QString::fromLatin1(input.left(6));
    const QString ownKey = QString::fromLatin1(input.mid(6, 6));
    const std::vector<std::pair<QString, QString>> probes = {
        {u"General"_s, u"template"_s}, {u"General"_s, u"ScaleType"_s}, {u"STRING"_s, u"103"_s},
        {u"BITMAP"_s, u"132"_s},       {ownSection, ownKey},           {ownKey, ownSection},
    };
    std::vector<QString> before;
    for (const auto &[section, key] : probes) {
        before.push_back(file.value(section, key, u"<none>"_s));
        (void)file.intValue(section, key, -1);
    }

    std::vector<std::pair<std::pair<QString, QString>, QString>> written;
    const auto set = [&](const QString &section, const QString &key, const QString &value) {
        if (file.setValue(section, key, value))
            written.push_back({{section, key}, value});
    };
    set(u"General"_s, u"template"_s, u"12"_s);
    set(ownSection, ownKey, u" spaced \u00e9 "_s);

    Check(file.save().ok());
    const kw::IniFile reloaded = kw::IniFile::load(path);
    Check(reloaded.toBytes() == file.toBytes());
    Check(reloaded.encoding() == file.encoding());
    for (size_t i = 0; i < written.size(); ++i) {
        const auto &[name, value] = written[i];
        bool overwrittenLater = false; // a later write to the same key wins
        for (size_t j = i + 1; j < written.size(); ++j)
            overwrittenLater = overwrittenLater || (SameName(written[j].first.first, name.first) &&
                                                    SameName(written[j].first.second, name.second));
        if (!overwrittenLater)
            Check(reloaded.value(name.first, name.second) == value);
    }
    for (size_t i = 0; i < probes.size(); ++i) {
        bool touched = false;
        for (const auto &[name, value] : written)
            touched = touched || (SameName(name.first, probes[i].first) &&
                                  SameName(name.second, probes[i].second));
        if (!touched)
            Check(reloaded.value(probes[i].first, probes[i].second, u"<none>"_s) == before[i]);
    }
    return 0;
}
