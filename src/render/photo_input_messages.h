#pragma once

#include <QString>
#include <QStringList>

// What the image codecs say while they decode: Qt's image plugins (and
// libjpeg and libpng's warnings through them) speak through Qt's message
// handler, libtiff through its own handlers. Both are routed here once, so
// that a decode failure can name the codec's own reason and nothing reaches
// the terminal directly.
namespace kw {

// Collects every codec message of the calling thread while it lives; other
// threads are not affected. Messages outside any collection go on to the
// message handler that was installed before (libtiff's as Qt warnings).
// Collections nest: the innermost one collects.
class CodecMessages
{
public:
    CodecMessages();
    ~CodecMessages();
    CodecMessages(const CodecMessages &) = delete;
    CodecMessages &operator=(const CodecMessages &) = delete;

    // The reason a codec gave for failing: its last error, or its last
    // message when none was marked an error; empty when it said nothing.
    // One line, at most a few hundred characters.
    QString reason() const;
    bool isEmpty() const { return m_messages.isEmpty(); }

    // Called by the routed handlers.
    void add(const QString &text, bool error);

private:
    QStringList m_messages;
    QString m_lastError;
    CodecMessages *m_outer;
};

} // namespace kw
