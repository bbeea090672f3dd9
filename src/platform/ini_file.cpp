#include "platform/ini_file.h"

#include "platform/code_pages.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";

bool IsBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\v' || u == u'\f';
}

QStringView Trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool IsQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

bool IsQuoted(QStringView text)
{
    return text.size() >= 2 && IsQuote(text.front()) && text.front() == text.back();
}

bool IsUtf16(IniEncoding encoding)
{
    return encoding == IniEncoding::Utf16LE || encoding == IniEncoding::Utf16BE;
}

kw::Status ValidateWrite(QStringView section, QStringView key, QStringView value)
{
    const auto fail = [](const QString &reason) { return kw::Failure{reason}; };
    const auto hasBreakOrNul = [](QStringView text) {
        return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(0));
    };
    if (section.isEmpty())
        return fail(u"empty section name"_s);
    if (key.isEmpty())
        return fail(u"empty key name"_s);
    if (hasBreakOrNul(section) || section.contains(u']'))
        return fail(u"section name \"%1\" holds ']', a line break or a NUL"_s.arg(section));
    if (hasBreakOrNul(key) || key.contains(u'=') || key.front() == u'[' || key.front() == u';')
        return fail(
            u"key name \"%1\" holds '=', a line break or a NUL, or starts with '[' or ';'"_s.arg(
                key));
    if (hasBreakOrNul(value))
        return fail(u"value for \"%1\" holds a line break or a NUL"_s.arg(key));
    return {};
}

// The first unpaired surrogate of the text, which UTF-8 cannot carry; -1 when
// there is none.
qsizetype FindUnpairedSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return i;
    }
    return -1;
}

// Reading trims blanks and strips one pair of quotes; quoting the values that
// either would change makes every value read back as written.
QString QuotedForWrite(QStringView value)
{
    if (value.isEmpty())
        return QString();
    if (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value))
        return u'"' + value.toString() + u'"';
    return value.toString();
}

} // namespace

IniFile IniFile::load(const QString &path)
{
    IniFile file;
    file.m_path = path;
    const QFileInfo info(path);
    if (!info.exists())
        return file;
    const auto unreadable = [&file](const QString &reason) {
        file.m_state = State::Unreadable;
        file.m_error = reason;
        return file;
    };
    if (!info.isFile())
        return unreadable(u"\"%1\" is not a regular file"_s.arg(path));
    if (info.size() > kMaxFileSize)
        return unreadable(u"\"%1\" is too large for a settings file"_s.arg(path));
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return unreadable(u"cannot read \"%1\": %2"_s.arg(path, in.errorString()));
    // One byte more than the file holds reveals a file that grew past the
    // limit since it was measured; reading the limit itself would allocate it.
    const QByteArray bytes = in.read(std::min(in.size(), kMaxFileSize) + 1);
    if (in.error() != QFileDevice::NoError)
        return unreadable(u"cannot read \"%1\": %2"_s.arg(path, in.errorString()));
    if (bytes.size() > kMaxFileSize)
        return unreadable(u"\"%1\" is too large for a settings file"_s.arg(path));
    return fromBytes(bytes, path);
}

IniFile IniFile::fromBytes(const QByteArray &bytes, const QString &path)
{
    IniFile file;
    file.m_path = path;
    file.m_state = State::Loaded;
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF")) {
        file.m_encoding = IniEncoding::Utf8Bom;
        body = body.sliced(3);
    } else if (body.startsWith("\xFF\xFE")) {
        file.m_encoding = IniEncoding::Utf16LE;
        body = body.sliced(2);
    } else if (body.startsWith("\xFE\xFF")) {
        file.m_encoding = IniEncoding::Utf16BE;
        body = body.sliced(2);
    }
    if (IsUtf16(file.m_encoding)) {
        const bool little = file.m_encoding == IniEncoding::Utf16LE;
        const qsizetype count = body.size() / 2;
        file.m_units.resize(count);
        for (qsizetype i = 0; i < count; ++i) {
            const auto first = static_cast<uint8_t>(body[2 * i]);
            const auto second = static_cast<uint8_t>(body[2 * i + 1]);
            file.m_units[i] = little ? QChar(first, second) : QChar(second, first);
        }
        if (body.size() % 2 != 0)
            file.m_tail = body.sliced(body.size() - 1).toByteArray();
    } else {
        file.m_units = QString::fromLatin1(body);
    }
    file.parse();
    return file;
}

void IniFile::parse()
{
    m_lines.clear();
    const QStringView units(m_units);
    const auto trimFrom = [&units](qsizetype begin, qsizetype end) {
        while (begin < end && IsBlank(units[begin]))
            ++begin;
        return begin;
    };
    const auto trimTo = [&units](qsizetype begin, qsizetype end) {
        while (end > begin && IsBlank(units[end - 1]))
            --end;
        return end;
    };

    qsizetype pos = 0;
    while (pos < units.size()) {
        Line line;
        line.begin = pos;
        const qsizetype newline = units.indexOf(u'\n', pos);
        if (newline < 0) {
            line.end = line.next = units.size();
        } else {
            line.end = newline;
            line.next = newline + 1;
            if (line.end > pos && units[line.end - 1] == u'\r')
                --line.end;
        }
        pos = line.next;

        const qsizetype first = trimFrom(line.begin, line.end);
        const qsizetype last = trimTo(first, line.end);
        if (first == last) {
            line.kind = LineKind::Blank;
        } else if (units[first] == u';') {
            line.kind = LineKind::Comment;
        } else if (units[first] == u'[') {
            const qsizetype close = units.sliced(first + 1, last - first - 1).indexOf(u']');
            if (close < 0) {
                line.kind = LineKind::Other;
            } else {
                line.kind = LineKind::Section;
                const qsizetype nameBegin = trimFrom(first + 1, first + 1 + close);
                line.name = decode(nameBegin, trimTo(nameBegin, first + 1 + close));
            }
        } else {
            const qsizetype equals = units.sliced(first, last - first).indexOf(u'=');
            if (equals < 0) {
                line.kind = LineKind::Other;
            } else {
                line.kind = LineKind::Key;
                line.name = decode(first, trimTo(first, first + equals));
                // An empty value sits after any blanks that follow '=', so a
                // write into "key= " gives "key= value".
                line.valueBegin = trimFrom(first + equals + 1, line.end);
                line.valueEnd = std::max(last, line.valueBegin);
            }
        }
        m_lines.push_back(std::move(line));
    }
}

QString IniFile::decode(qsizetype begin, qsizetype end) const
{
    const QStringView units = QStringView(m_units).sliced(begin, end - begin);
    if (IsUtf16(m_encoding))
        return units.toString();
    const QByteArray bytes = units.toLatin1();
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return DecodeFromCodePage(bytes, kSystemAnsiCodePage);
    return text;
}

QString IniFile::encode(QStringView text) const
{
    if (IsUtf16(m_encoding))
        return text.toString();
    return QString::fromLatin1(text.toUtf8());
}

// The line break to use for a line added after line `lineIndex`: that line's
// own, else the first one in the file, else CR LF.
QString IniFile::lineBreakNear(qsizetype lineIndex) const
{
    const auto breakOf = [this](const Line &line) {
        return m_units.mid(line.end, line.next - line.end);
    };
    if (lineIndex >= 0 && lineIndex < qsizetype(m_lines.size()) &&
        m_lines[lineIndex].next > m_lines[lineIndex].end)
        return breakOf(m_lines[lineIndex]);
    for (const Line &line : m_lines) {
        if (line.next > line.end)
            return breakOf(line);
    }
    return QString::fromUtf16(kCrLf);
}

qsizetype IniFile::findSection(QStringView section) const
{
    section = Trimmed(section);
    if (section.isEmpty())
        return -1;
    for (qsizetype i = 0; i < qsizetype(m_lines.size()); ++i) {
        const Line &line = m_lines[i];
        if (line.kind == LineKind::Section &&
            QStringView(line.name).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype IniFile::findKey(qsizetype sectionLine, QStringView key) const
{
    key = Trimmed(key);
    if (sectionLine < 0 || key.isEmpty())
        return -1;
    for (qsizetype i = sectionLine + 1; i < qsizetype(m_lines.size()); ++i) {
        const Line &line = m_lines[i];
        if (line.kind == LineKind::Section)
            break;
        if (line.kind == LineKind::Key &&
            QStringView(line.name).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void IniFile::removeKey(QStringView section, QStringView key)
{
    const qsizetype sectionLine = findSection(section);
    // One line at a time, the lines parsed again after each removal.
    for (qsizetype index = findKey(sectionLine, key); index >= 0;
         index = findKey(sectionLine, key)) {
        const Line &line = m_lines[index];
        m_units.remove(line.begin, line.next - line.begin);
        parse();
    }
}

bool IniFile::contains(QStringView section, QStringView key) const
{
    return findKey(findSection(section), key) >= 0;
}

QString IniFile::value(QStringView section, QStringView key, const QString &defaultValue) const
{
    const qsizetype index = findKey(findSection(section), key);
    if (index < 0)
        return defaultValue;
    const Line &line = m_lines[index];
    QString text = decode(line.valueBegin, line.valueEnd);
    if (IsQuoted(text))
        return text.mid(1, text.size() - 2);
    return text;
}

int IniFile::intValue(QStringView section, QStringView key, int defaultValue) const
{
    if (!contains(section, key))
        return defaultValue;
    return ParseProfileInt(value(section, key));
}

kw::Status IniFile::setValue(QStringView section, QStringView key, QStringView value)
{
    section = Trimmed(section);
    key = Trimmed(key);
    if (kw::Status valid = ValidateWrite(section, key, value); !valid)
        return valid;
    if (!IsUtf16(m_encoding)) {
        for (const QStringView text : {section, key, value}) {
            const qsizetype at = FindUnpairedSurrogate(text);
            if (at >= 0)
                return kw::Failure{
                    u"cannot write \"%1\" into \"%2\": it holds U+%3, an unpaired surrogate, "
                    u"which UTF-8 cannot carry"_s.arg(
                        key, m_path, QString::number(text[at].unicode(), 16).toUpper())};
        }
    }
    const QString written = QuotedForWrite(value);
    const QString keyLine = encode(key.toString() + u'=' + written);

    const qsizetype sectionLine = findSection(section);
    if (sectionLine >= 0) {
        const qsizetype keyIndex = findKey(sectionLine, key);
        if (keyIndex >= 0) {
            const Line &line = m_lines[keyIndex];
            m_units.replace(line.valueBegin, line.valueEnd - line.valueBegin, encode(written));
            parse();
            return {};
        }
        qsizetype after = sectionLine;
        for (qsizetype i = sectionLine + 1; i < qsizetype(m_lines.size()); ++i) {
            const LineKind kind = m_lines[i].kind;
            if (kind == LineKind::Section)
                break;
            if (kind != LineKind::Blank && kind != LineKind::Comment)
                after = i;
        }
        const Line &line = m_lines[after];
        const QString lineBreak = lineBreakNear(after);
        if (line.next > line.end)
            m_units.insert(line.next, keyLine + lineBreak);
        else // the last line of a file that does not end in a line break
            m_units.insert(line.next, lineBreak + keyLine + lineBreak);
        parse();
        return {};
    }

    const QString lineBreak = lineBreakNear(qsizetype(m_lines.size()) - 1);
    QString added = encode(u'[' + section.toString() + u']') + lineBreak + keyLine + lineBreak;
    if (!m_lines.empty() && m_lines.back().next == m_lines.back().end)
        added.prepend(lineBreak);
    m_units.append(added);
    parse();
    return {};
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    switch (m_encoding) {
    case IniEncoding::Utf8:
        break;
    case IniEncoding::Utf8Bom:
        bytes = "\xEF\xBB\xBF";
        break;
    case IniEncoding::Utf16LE:
        bytes = "\xFF\xFE";
        break;
    case IniEncoding::Utf16BE:
        bytes = "\xFE\xFF";
        break;
    }
    if (IsUtf16(m_encoding)) {
        const bool little = m_encoding == IniEncoding::Utf16LE;
        bytes.reserve(bytes.size() + 2 * m_units.size() + m_tail.size());
        for (const QChar unit : m_units) {
            const char low = char(unit.cell());
            const char high = char(unit.row());
            bytes.append(little ? low : high);
            bytes.append(little ? high : low);
        }
        bytes.append(m_tail);
    } else {
        bytes.append(m_units.toLatin1());
    }
    return bytes;
}

kw::Status IniFile::save() const
{
    const auto fail = [](const QString &reason) { return kw::Failure{reason}; };
    if (m_path.isEmpty())
        return fail(u"no file to write to"_s);
    if (m_state == State::Unreadable)
        return fail(
            u"not writing \"%1\" because it could not be read first: %2"_s.arg(m_path, m_error));
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(u"cannot write \"%1\": %2"_s.arg(m_path, out.errorString()));
    const QByteArray bytes = toBytes();
    if (out.write(bytes) != bytes.size())
        return fail(u"cannot write \"%1\": %2"_s.arg(m_path, out.errorString()));
    // flush() first: commit() misses a failure that only shows when the
    // buffered bytes reach the file, and would rename a truncated file into
    // place.
    if (!out.flush() || !out.commit())
        return fail(u"cannot write \"%1\": %2"_s.arg(m_path, out.errorString()));
    return {};
}

int ParseProfileInt(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    uint32_t magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        magnitude = magnitude * 10u + uint32_t(text[i].unicode() - u'0');
    return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

} // namespace kw
