#pragma once

#include <QString>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

namespace kw {

// libjpeg reports errors through a callback that must not return: it jumps
// back to the function that owns the libjpeg objects, which calls setjmp on
// `jump` after every object it must destroy exists. Warnings are still
// counted by libjpeg (corrupt data does not pass as good); they are just not
// printed.
struct JpegError
{
    jpeg_error_mgr manager; // first, so the library's pointer converts back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];

    // The manager set up to jump and stay quiet; give it to cinfo.err.
    jpeg_error_mgr *install();
    QString text() const { return QString::fromLatin1(message); }
};

} // namespace kw
