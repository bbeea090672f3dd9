#include "render/jpeg_errors.h"

namespace kw {

namespace {

extern "C" void JpegErrorExit(j_common_ptr cinfo)
{
    auto *error = reinterpret_cast<JpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

extern "C" void JpegIgnoreMessage(j_common_ptr) {}

} // namespace

jpeg_error_mgr *JpegError::install()
{
    jpeg_std_error(&manager);
    manager.error_exit = JpegErrorExit;
    manager.output_message = JpegIgnoreMessage;
    message[0] = '\0';
    return &manager;
}

} // namespace kw
