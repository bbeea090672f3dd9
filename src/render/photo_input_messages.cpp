#include "render/photo_input_messages.h"

#include <QtGlobal>

#include <tiffio.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

thread_local CodecMessages *t_collecting = nullptr;
std::atomic<QtMessageHandler> g_previousHandler = nullptr;

constexpr qsizetype kMaxMessageChars = 300;

// A codec message as one short line: control characters (from a damaged
// file's tag names, say) become spaces.
QString OneLine(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    text = text.simplified();
    if (text.size() > kMaxMessageChars)
        text = text.left(kMaxMessageChars) + u"..."_s;
    return text;
}

void RouteQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (CodecMessages *collecting = t_collecting)
        collecting->add(message, type == QtCriticalMsg || type == QtFatalMsg);
    else if (const QtMessageHandler previous = g_previousHandler.load())
        previous(type, context, message);
}

void RouteTiffMessage(const char *module, const char *format, va_list args, bool error)
{
    char buffer[1024];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    QString text = QString::fromLocal8Bit(buffer);
    // Qt opens every TIFF under a placeholder name, which says nothing.
    if (module && *module && std::strcmp(module, "foo") != 0)
        text = QString::fromLocal8Bit(module) + u": "_s + text;
    if (CodecMessages *collecting = t_collecting)
        collecting->add(text, error);
    else
        qWarning("libtiff: %s", qUtf8Printable(OneLine(text)));
}

void RouteTiffError(const char *module, const char *format, va_list args)
{
    RouteTiffMessage(module, format, args, true);
}

void RouteTiffWarning(const char *module, const char *format, va_list args)
{
    RouteTiffMessage(module, format, args, false);
}

void InstallRoutes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_previousHandler = qInstallMessageHandler(RouteQtMessage);
        TIFFSetErrorHandler(RouteTiffError);
        TIFFSetWarningHandler(RouteTiffWarning);
    });
}

} // namespace

CodecMessages::CodecMessages() : m_outer(t_collecting)
{
    InstallRoutes();
    t_collecting = this;
}

CodecMessages::~CodecMessages()
{
    t_collecting = m_outer;
}

void CodecMessages::add(const QString &text, bool error)
{
    const QString line = OneLine(text);
    if (line.isEmpty())
        return;
    m_messages << line;
    if (error)
        m_lastError = line;
}

QString CodecMessages::reason() const
{
    if (!m_lastError.isEmpty())
        return m_lastError;
    return m_messages.isEmpty() ? QString() : m_messages.last();
}

} // namespace kw
