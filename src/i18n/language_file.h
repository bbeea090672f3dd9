#pragma once

#include "platform/app_folders.h"
#include "platform/ini_file.h"

#include <QImage>
#include <QString>
#include <QStringView>

#include <functional>

// The language file: an INI file that can replace some built-in texts
// (section "STRING", key = the text's number in decimal) and pictures
// (section "BITMAP", key = the picture's number, value = a picture file's path
// relative to the folder that holds the "Lang" folder). A missing file,
// section or key silently gives the built-in text or picture.
//
// Nothing is cached: every call reads the file afresh, so the functions may be
// used from any thread.
namespace kw {

inline constexpr QStringView kInterfaceLanguage = u"en";

// Language entries are read through a buffer of this many characters, its
// terminator included; a longer value is cut to one character less.
inline constexpr qsizetype kLanguageValueBuffer = 10200;

// The folder (inside a data folder such as /usr/share) where an installed
// program keeps its language files.
inline constexpr QStringView kInstalledDataFolderName = u"kelvane-watermark";

// The language file's path, "Lang/lang_<language>.ini" under the first of
// these folders that holds it:
//   1. `executableFolder` ("." when empty);
//   2. `executableFolder`/../share/kelvane-watermark (an installed program);
//   3. each generic data folder (XDG_DATA_HOME, then XDG_DATA_DIRS)
//      + "/kelvane-watermark".
// When none holds it, the path under the first folder.
QString GetLanguageFile(const QString &executableFolder = ExecutableFolder(),
                        QStringView language = kInterfaceLanguage);

// Supplies a built-in picture by its number.
using BuiltInBitmap = std::function<QImage(int id)>;

// One read of a language file, for looking up several entries.
class LanguageFile
{
public:
    static LanguageFile open(const QString &path);

    const QString &path() const { return m_ini.path(); }

    // The "STRING" entry of `id` with each backslash-n turned into a line
    // feed, then each backslash-t into a tab, when that leaves a non-empty
    // text; otherwise the built-in text (empty if there is none).
    QString string(int id) const;

    // The picture named by the "BITMAP" entry of `id` when it decodes (any
    // format Qt reads); otherwise builtIn(id), or a null image when builtIn is
    // empty.
    QImage bitmap(int id, const BuiltInBitmap &builtIn = {}) const;

    // The path the "BITMAP" entry of `id` names; empty when there is none.
    QString bitmapPath(int id) const;

private:
    QString entry(QStringView section, int id) const;

    IniFile m_ini;
    QString m_baseFolder; // the folder that holds the Lang folder
};

// LanguageFile::string on the language file GetLanguageFile()
// finds at the time of the call.
QString LoadLocalizedString(int id);

} // namespace kw
