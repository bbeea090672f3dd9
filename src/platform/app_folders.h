#pragma once

#include <QString>
#include <QStringView>

// The per-user folders the program keeps its data in. Each call resolves the
// folder afresh and creates it when missing; nothing is cached, so the
// functions may be called from any thread.
namespace kw {

// Paths are built with '/' only; Qt maps it to the platform's separator.
inline constexpr QChar kPathSeparator = u'/';

inline constexpr QStringView kAppFolderName = u"Kelvane Watermark";
// The folder beside the executable that stands in for a per-user folder the
// platform cannot give.
inline constexpr QStringView kProfileFolderName = u"Profile";
inline constexpr QStringView kTemplatesFolderName = u"templates";

// `folder` and `name` joined by one separator (none is added when `folder`
// already ends with one). An empty folder gives `name` alone, a path relative
// to the working folder, never one at the root of the file system.
QString JoinPath(QStringView folder, QStringView name);

// The folder of the running executable, without a trailing separator; empty
// when no QCoreApplication exists.
QString ExecutableFolder();

// Creates the folder and every missing parent. An empty path does nothing and
// one trailing separator is ignored. Returns whether the folder exists
// afterwards; callers that follow the "failures are ignored" rule may drop it.
bool CreateFolderPath(const QString &path);

// The application data folder: "Kelvane Watermark" in the user's generic data
// folder (~/.local/share on Linux). When that folder is unknown or cannot be
// created, the folder "Profile" in `executableFolder` instead; empty when that
// is empty too. Created (with its parents) before it is returned, but returned
// even if that fails.
QString GetAppDataFolder(const QString &executableFolder = ExecutableFolder());

// The default output folder: "Kelvane Watermark" in the user's documents
// folder, with the same fallback and creation as GetAppDataFolder.
QString GetDocumentsOutputFolder(const QString &executableFolder = ExecutableFolder());

// The templates folder inside the application data folder. The application
// data folder is created; the templates folder itself is not, because its
// absence is what marks a first run.
QString GetTemplatesFolder(const QString &executableFolder = ExecutableFolder());

} // namespace kw
