#include "platform/system_errors.h"

#include <sys/stat.h>

#include <system_error>

using namespace Qt::StringLiterals;

namespace kw {

QString ErrnoText(int error)
{
    QString text = QString::fromStdString(std::system_category().message(error));
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return text;
}

QString NonRegularKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return u"a folder"_s;
    if (S_ISFIFO(mode))
        return u"a FIFO (named pipe)"_s;
    if (S_ISSOCK(mode))
        return u"a socket"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"a device"_s;
    return u"not a regular file"_s;
}

} // namespace kw
