#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

// Windows-style initialisation files ("private profiles"): `[Section]` lines
// followed by `key=value` lines.
//
// Reading rules:
// - Section and key names compare case-insensitively; blanks around names and
//   values are ignored. The first section with a matching name is the only
//   one searched, and in it the first matching key wins.
// - A value enclosed in a pair of double or single quotes is returned without
//   them.
// - A line whose first non-blank character is ';' is a comment; a line that
//   starts with '[' but has no ']' and a line without '=' are ignored; keys
//   before the first section belong to no section.
// - Lines end in CR LF or LF.
// - Encoding: a file starting with a byte-order mark is UTF-8, UTF-16LE or
//   UTF-16BE as the mark says; a file without one is UTF-8, and any name or
//   value that is not valid UTF-8 is read as Windows-1252 (the legacy files
//   of Windows programs).
//
// Writing rules:
// - A write replaces the value of the first matching key in place; every
//   other byte of the file stays as it was (comments, spacing, line endings,
//   undecodable bytes). A missing key is added after the last line of its
//   section that is neither blank nor a comment (so blank lines and comments
//   that lead into the next section stay with it); a missing section is added
//   at the end of the file; a missing file is created (its folder is not).
// - Added text is written in the file's encoding (UTF-8 for a file without a
//   byte-order mark) with the line ending of the neighbouring line; a new file
//   is UTF-8 without a byte-order mark and uses CR LF.
// - A value with blanks at either end, or one that is itself enclosed in a
//   pair of quotes, is written inside double quotes so that it reads back
//   unchanged. Text that would not read back as written (an unpaired
//   surrogate in a UTF-8 file) is refused rather than written as '?'.
// - Every save replaces the whole file through a temporary file and a rename.
//
// IniFile is a plain value: it shares no state, so separate objects may be
// used on separate threads. Two writers of one file do not merge their
// changes; the last save wins.
namespace kw {

enum class IniEncoding {
    Utf8,    // no byte-order mark
    Utf8Bom, // EF BB BF
    Utf16LE, // FF FE
    Utf16BE, // FE FF
};

class IniFile
{
public:
    enum class State {
        Missing,    // no file at the path: reads give defaults, a save creates it
        Loaded,     // read successfully (possibly empty)
        Unreadable, // exists but could not be read: reads give defaults, save refuses
    };

    // Files above this size are refused as unreadable; settings files are tiny.
    static constexpr qsizetype kMaxFileSize = 16 * 1024 * 1024;

    IniFile() = default;

    // Reads the file at `path`. Never fails: a missing or unreadable file
    // gives an empty document whose state() says why.
    static IniFile load(const QString &path);
    // A document over the given file contents, bound to `path` for save().
    static IniFile fromBytes(const QByteArray &bytes, const QString &path = {});

    const QString &path() const { return m_path; }
    State state() const { return m_state; }
    // Why the file could not be read; empty unless state() is Unreadable.
    const QString &errorString() const { return m_error; }
    IniEncoding encoding() const { return m_encoding; }

    bool contains(QStringView section, QStringView key) const;
    // The value, or `defaultValue` when the section or key is missing.
    QString value(QStringView section, QStringView key, const QString &defaultValue = {}) const;
    // The value converted by ParseProfileInt, or `defaultValue` when the
    // section or key is missing. A present but empty value gives 0.
    int intValue(QStringView section, QStringView key, int defaultValue) const;

    // Changes the document in memory; save() writes it. Refuses, with a
    // reason, an empty section or key name, a section name holding ']', a key
    // name holding '=' or starting with '[' or ';', any name or value holding
    // a line break or a NUL character, and any that the file's encoding
    // cannot hold.
    kw::Status setValue(QStringView section, QStringView key, QStringView value);
    // Removes every line of `key` in the section's first occurrence (the
    // line break with it); nothing when it has none. Every other byte stays.
    void removeKey(QStringView section, QStringView key);

    // The file contents as save() writes them.
    QByteArray toBytes() const;
    // Writes the document to path(). Refuses an unreadable file (it would be
    // overwritten with what little we know of it); a failed write leaves the
    // old file in place and gives the reason.
    kw::Status save() const;

private:
    enum class LineKind { Blank, Comment, Section, Key, Other };
    struct Line
    {
        qsizetype begin = 0; // first unit of the line
        qsizetype end = 0;   // end of the content, before CR LF or LF
        qsizetype next = 0;  // first unit of the next line
        LineKind kind = LineKind::Blank;
        qsizetype valueBegin = 0; // Key lines: the value as written, quotes included
        qsizetype valueEnd = 0;
        QString name; // Section and Key lines: the decoded, trimmed name
    };

    void parse();
    QString decode(qsizetype begin, qsizetype end) const;
    QString encode(QStringView text) const;
    QString lineBreakNear(qsizetype lineIndex) const;
    qsizetype findSection(QStringView section) const;
    qsizetype findKey(qsizetype sectionLine, QStringView key) const;

    QString m_path;
    State m_state = State::Missing;
    QString m_error;
    IniEncoding m_encoding = IniEncoding::Utf8;
    // The file after its byte-order mark: for UTF-16 files the code units, for
    // the others one QChar per byte (0 to 255), so every position maps back to
    // exact file bytes.
    QString m_units;
    QByteArray m_tail; // an odd last byte of a UTF-16 file, kept as it is
    std::vector<Line> m_lines;
};

// Integer conversion of a profile value: leading blanks and control characters
// and then one '+' or '-' are skipped, then the decimal digits up to the first other character are
// read; text without digits gives 0. Values beyond 32 bits wrap around.
int ParseProfileInt(QStringView text);

} // namespace kw
