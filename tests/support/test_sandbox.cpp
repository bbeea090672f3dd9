#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace kw::test {

TestSandbox::TestSandbox()
    : m_oldHome(qgetenv("HOME")), m_oldDataHome(qgetenv("XDG_DATA_HOME")),
      m_hadHome(qEnvironmentVariableIsSet("HOME")),
      m_hadDataHome(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
{
    QDir(m_dir.path()).mkpath(QStringLiteral("home/.local/share"));
    qputenv("HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME",
            QFile::encodeName(m_dir.filePath(QStringLiteral("home/.local/share"))));
}

TestSandbox::~TestSandbox()
{
    if (m_hadHome)
        qputenv("HOME", m_oldHome);
    else
        qunsetenv("HOME");
    if (m_hadDataHome)
        qputenv("XDG_DATA_HOME", m_oldDataHome);
    else
        qunsetenv("XDG_DATA_HOME");
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace kw::test
