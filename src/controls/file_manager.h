#pragma once

#include <QString>

// Showing a written file to the user in the system file manager.
namespace kw {

// Asks the file manager, through the freedesktop.org D-Bus interface
// org.freedesktop.FileManager1.ShowItems, to open the file's folder with the
// file selected. When no session bus or no file manager answers, the folder
// is opened with the user's default program for folders instead. Returns at
// once; the answer is handled on the calling (user-interface) thread's event
// loop. An empty path does nothing.
void ShowFileInFileManager(const QString &path);

} // namespace kw
