#pragma once

#include <QString>

#include <sys/types.h>

// Words for what the system reports, as reasons shown to the user.
namespace kw {

// The system's text for an errno value, starting lower case ("no such file
// or directory").
QString ErrnoText(int error);

// What a file that is not a regular file is ("a FIFO (named pipe)", "a
// socket", "a device", "a folder"), from its stat mode.
QString NonRegularKind(mode_t mode);

} // namespace kw
