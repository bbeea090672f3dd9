#include "render/text_variables.h"

#include <QLocale>

#include <optional>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

constexpr QStringView kDefaultDateFormat = u"yyyy-MM-dd";
constexpr int kMaxCounterDigits = 20;

// A reference's parts: {name:argument|fallback}.
struct Reference
{
    QStringView name;
    std::optional<QStringView> argument;
    std::optional<QStringView> fallback;
};

Reference Split(QStringView body)
{
    Reference ref;
    QStringView nameAndArgument = body;
    if (const qsizetype bar = body.indexOf(u'|'); bar >= 0) {
        nameAndArgument = body.left(bar);
        ref.fallback = body.mid(bar + 1);
    }
    ref.name = nameAndArgument;
    if (const qsizetype colon = nameAndArgument.indexOf(u':'); colon >= 0) {
        ref.name = nameAndArgument.left(colon);
        ref.argument = nameAndArgument.mid(colon + 1);
    }
    return ref;
}

bool Is(QStringView name, QStringView known)
{
    return name.compare(known, Qt::CaseInsensitive) == 0;
}

QDateTime DateOf(const PhotoFacts &facts)
{
    return facts.taken.isValid() ? facts.taken : facts.fileTime;
}

// The value of a reference: empty when the photo has none; nullopt when the
// reference names no variable or gives an argument it cannot take.
std::optional<QString> ValueOf(const Reference &ref, const PhotoFacts &facts)
{
    if (Is(ref.name, u"date")) {
        const QDateTime date = DateOf(facts);
        const QStringView format =
            ref.argument && !ref.argument->isEmpty() ? *ref.argument : kDefaultDateFormat;
        // The C locale: the same month names on every machine.
        return date.isValid() ? QLocale::c().toString(date, format) : QString();
    }
    if (Is(ref.name, u"counter")) {
        int digits = 1;
        if (ref.argument) {
            bool number = false;
            digits = ref.argument->toInt(&number);
            if (!number || digits < 1 || digits > kMaxCounterDigits)
                return std::nullopt;
        }
        return facts.counter > 0 ? u"%1"_s.arg(facts.counter, digits, 10, QChar(u'0')) : QString();
    }
    if (ref.argument)
        return std::nullopt; // only the two above take one
    if (Is(ref.name, u"filename"))
        return facts.fileName;
    if (Is(ref.name, u"year")) {
        const QDateTime date = DateOf(facts);
        return date.isValid() ? QString::number(date.date().year()) : QString();
    }
    if (Is(ref.name, u"camera"))
        return CameraName(facts.make, facts.model);
    if (Is(ref.name, u"lens"))
        return facts.lens;
    if (Is(ref.name, u"artist"))
        return facts.artist;
    if (Is(ref.name, u"copyright"))
        return facts.copyright;
    if (Is(ref.name, u"width"))
        return facts.size.isEmpty() ? QString() : QString::number(facts.size.width());
    if (Is(ref.name, u"height"))
        return facts.size.isEmpty() ? QString() : QString::number(facts.size.height());
    return std::nullopt;
}

// Walks the text once: `literal` receives text drawn as it is (escapes
// already undone), `reference` each closed reference's body with its
// replacement (nullopt: drawn as written), `unclosed` the body of a brace
// that is never closed.
template <typename Literal, typename OnReference, typename Unclosed>
void Scan(QStringView text, Literal literal, OnReference reference, Unclosed unclosed)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if ((c == u'{' || c == u'}') && i + 1 < n && text[i + 1] == c) {
            literal(text.mid(i, 1));
            i += 2;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = text.indexOf(u'}', i + 1);
            if (close < 0) {
                unclosed(text.mid(i + 1));
                literal(text.mid(i));
                return;
            }
            const QStringView body = text.mid(i + 1, close - i - 1);
            reference(body, text.mid(i, close - i + 1));
            i = close + 1;
            continue;
        }
        const qsizetype start = i;
        while (i < n && text[i] != u'{' && text[i] != u'}')
            ++i;
        if (i == start) // a lone closing brace
            ++i;
        literal(text.mid(start, i - start));
    }
}

} // namespace

bool HasTextVariables(QStringView text)
{
    return text.contains(u'{') || text.contains(u'}');
}

QString ExpandTextVariables(QStringView text, const PhotoFacts &facts)
{
    if (!HasTextVariables(text))
        return text.toString();
    QString out;
    out.reserve(text.size());
    Scan(
        text, [&](QStringView part) { out += part; },
        [&](QStringView body, QStringView written) {
            const Reference ref = Split(body);
            const std::optional<QString> value = ValueOf(ref, facts);
            if (!value)
                out += written;
            else if (value->isEmpty() && ref.fallback)
                out += *ref.fallback;
            else
                out += *value;
        },
        [](QStringView) {});
    return out;
}

QStringList UnknownTextVariables(QStringView text)
{
    QStringList unknown;
    if (!HasTextVariables(text))
        return unknown;
    const auto add = [&](QStringView body) {
        if (!unknown.contains(body.toString()))
            unknown << body.toString();
    };
    const PhotoFacts none;
    Scan(
        text, [](QStringView) {},
        [&](QStringView body, QStringView) {
            if (!ValueOf(Split(body), none))
                add(body);
        },
        add);
    return unknown;
}

const QList<TextVariableInfo> &TextVariableList()
{
    static const QList<TextVariableInfo> list = {
        {u"{filename}"_s, u"the photo's file name without its extension"_s},
        {u"{date}"_s, u"the day it was taken (EXIF), else the file's date: 2024-05-31"_s},
        {u"{date:d MMMM yyyy}"_s,
         u"the same date in your own format (yyyy, MM, MMM, dd, HH, mm)"_s},
        {u"{year}"_s, u"the year of that date"_s},
        {u"{camera}"_s, u"camera make and model"_s},
        {u"{lens}"_s, u"lens model"_s},
        {u"{artist}"_s, u"EXIF Artist, else XMP creator"_s},
        {u"{copyright}"_s, u"EXIF Copyright, else XMP rights"_s},
        {u"{counter}"_s, u"the photo's position in the list: 1, 2, 3 ..."_s},
        {u"{counter:3}"_s, u"the position with 3 digits: 001, 002 ..."_s},
        {u"{width}"_s, u"width of the picture in pixels"_s},
        {u"{height}"_s, u"height of the picture in pixels"_s},
        {u"{artist|Jane Doe}"_s, u"any variable, with a text for photos that lack it"_s},
        {u"{{ }}"_s, u"a brace"_s},
    };
    return list;
}

QString CameraName(const QString &make, const QString &model)
{
    const QString m = make.trimmed();
    const QString d = model.trimmed();
    if (m.isEmpty())
        return d;
    if (d.isEmpty())
        return m;
    // "NIKON CORPORATION" + "NIKON D850": the model names its maker already.
    const QString firstWord = m.section(u' ', 0, 0);
    if (d.startsWith(m, Qt::CaseInsensitive) || d.startsWith(firstWord, Qt::CaseInsensitive))
        return d;
    return m + u' ' + d;
}

PhotoFacts SamplePhotoFacts(QSize size)
{
    PhotoFacts facts;
    facts.fileName = u"sample-photo"_s;
    facts.fileTime = QDateTime::currentDateTime();
    facts.counter = 1;
    facts.size = size;
    return facts;
}

} // namespace kw
