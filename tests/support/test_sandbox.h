#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kw::test {

// A temporary folder that stands in for the user's home and data folders for
// the lifetime of the object: HOME and XDG_DATA_HOME point into it, so no test
// touches the real home folder. The previous environment comes back on exit.
class TestSandbox
{
public:
    TestSandbox();
    ~TestSandbox();
    TestSandbox(const TestSandbox &) = delete;
    TestSandbox &operator=(const TestSandbox &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldDataHome;
    bool m_hadHome = false;
    bool m_hadDataHome = false;
};

// Whole-file helpers for byte-exact checks.
QByteArray ReadFileBytes(const QString &path);
bool WriteFileBytes(const QString &path, const QByteArray &bytes);

} // namespace kw::test
