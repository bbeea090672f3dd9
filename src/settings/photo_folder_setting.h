#pragma once

#include "platform/result.h"

#include <QString>

// config.ini also keeps the folder the Add dialog last took photos from, so
// that the dialog opens there after a restart. Section [General], key
// "photoFolder", written only once the user has added photos through the
// dialog: a file without it behaves as before. Functions take the
// application data folder, share no state and may run on any thread.
namespace kw {

// The stored folder; empty when the file, section or key is missing. A file
// that exists but cannot be read, or no data folder, is a failure.
Result<QString> LoadLastPhotoFolder(const QString &dataFolder);

// Stores `folder` in place; every other line of the file is kept. Written
// through a temporary file.
Status SaveLastPhotoFolder(const QString &dataFolder, const QString &folder);

} // namespace kw
