#include "StoreFile.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace storefile
{

namespace
{

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

// The length of the line that starts at `from`, its line break not included.
qsizetype lineLength(QByteArrayView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && !isLineBreak(text[end]))
        ++end;
    return end - from;
}

// QSettings's own reading of one line: a backslash takes the next character
// with it, a quote opens or closes a quoted stretch, and a ';' outside quotes
// starts a comment that runs to the line break whatever it holds.
bool endsInPlace(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            if (++i == line.size())
                return false; // the line break itself is escaped
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            return true;
        }
    }
    return !quoted;
}

// True when the element that starts at `at` is read by QSettings as a value
// it must decode from binary: "@Variant(...)" or "@DateTime(...)". Their
// decoding trusts the lengths they hold, so a damaged one can ask for more
// memory than any machine has. QSettings writes such a text itself only with
// its '@' doubled.
bool startsBinaryValue(QByteArrayView line, qsizetype at)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    if (at < line.size() && line[at] == '"')
        ++at;
    const QByteArrayView rest = line.sliced(at);
    return rest.startsWith("@Variant(") || rest.startsWith("@DateTime(");
}

// A value, or any element of a list value, that is decoded from binary.
bool holdsBinaryValue(QByteArrayView line)
{
    if (line.startsWith('['))
        return false;
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return false;
    bool quoted = false;
    if (startsBinaryValue(line, equals + 1))
        return true;
    for (qsizetype i = equals + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted && startsBinaryValue(line, i + 1))
            return true;
    }
    return false;
}

bool isWhole(QByteArrayView line)
{
    return endsInPlace(line) && !holdsBinaryValue(line);
}

} // namespace

bool hasRunawayLines(QByteArrayView text)
{
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype length = lineLength(text, at);
        if (!isWhole(text.sliced(at, length)))
            return true;
        at += length + 1;
    }
    return false;
}

QByteArray withoutRunawayLines(QByteArrayView text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype length = lineLength(text, at);
        // The line together with its line break, when it has one.
        const qsizetype whole = qMin(length + 1, text.size() - at);
        if (isWhole(text.sliced(at, length)))
            kept.append(text.sliced(at, whole));
        at += whole;
    }
    return kept;
}

namespace
{

char hexDigit(int value)
{
    return "0123456789ABCDEF"[value & 15];
}

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int octalValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isPlainNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// A key or section name as the file spells it: letters, digits, '_', '-' and
// '.' as they are, '/' as '\', every other character as %XX or %UXXXX.
void appendName(const QString &name, QByteArray &out)
{
    // Most names are spelled as they are.
    if (std::all_of(name.begin(), name.end(), [](QChar c) {
            return c.unicode() < 0x80 && isPlainNameCharacter(char(c.unicode()));
        })) {
        out += QLatin1StringView(name.toLatin1());
        return;
    }
    for (const QChar qch : name) {
        const char16_t c = qch.unicode();
        if (c == '/') {
            out += '\\';
        } else if (c < 0x80 && isPlainNameCharacter(char(c))) {
            out += char(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += hexDigit(c >> 4);
            out += hexDigit(c);
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hexDigit(c >> shift);
        }
    }
}

QString nameFrom(QByteArrayView spelled)
{
    // Most names are spelled as they are.
    if (std::all_of(spelled.begin(), spelled.end(), isPlainNameCharacter))
        return QString::fromLatin1(spelled);
    const QString decoded = QString::fromUtf8(spelled);
    QString name;
    name.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size();) {
        const QChar c = decoded.at(i);
        if (c == u'\\') {
            name += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == decoded.size() - 1) {
            name += c;
            ++i;
            continue;
        }
        qsizetype first = i + 1;
        int digits = 2;
        if (decoded.at(first) == u'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        ushort code = 0;
        if (first + digits <= decoded.size())
            code = QStringView(decoded).sliced(first, digits).toUShort(&ok, 16);
        if (!ok) {
            name += u'%';
            ++i;
            continue;
        }
        name += QChar(code);
        i = first + digits;
    }
    return name;
}

// One element of a value as the file spells it: control characters, quotes
// and backslashes escaped, quoted when it holds ';', ',' or '=' or begins or
// ends with a space. QSettings spells its binary values in bytes, the rest in
// UTF-8.
void appendValue(const QString &value, QByteArray &out)
{
    const bool inUtf8 = !(value.startsWith("@ByteArray("_L1) || value.startsWith("@Variant("_L1) ||
                          value.startsWith("@DateTime("_L1));
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    QByteArray spelled;
    spelled.reserve(value.size() + 8);
    bool quoted = false;
    // After a numeric escape a hex digit would be read as part of it.
    bool afterNumber = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar qch = value.at(i);
        const char16_t c = qch.unicode();
        if (c == ';' || c == ',' || c == '=')
            quoted = true;
        if (afterNumber && isHexDigit(c)) {
            spelled += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        afterNumber = false;
        switch (c) {
        case '\0':
            spelled += "\\0";
            afterNumber = true;
            break;
        case '\a':
            spelled += "\\a";
            break;
        case '\b':
            spelled += "\\b";
            break;
        case '\f':
            spelled += "\\f";
            break;
        case '\n':
            spelled += "\\n";
            break;
        case '\r':
            spelled += "\\r";
            break;
        case '\t':
            spelled += "\\t";
            break;
        case '\v':
            spelled += "\\v";
            break;
        case '"':
        case '\\':
            spelled += '\\';
            spelled += char(c);
            break;
        default:
            // A surrogate without its other half has no UTF-8 spelling, and a
            // byte order mark first after an escape would be dropped when read:
            // both are spelled as numbers, which read back as themselves.
            const bool pair =
                qch.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
            if (c <= 0x1F || (c >= 0x7F && !inUtf8) || (qch.isSurrogate() && !pair) ||
                c == 0xFEFF) {
                spelled += "\\x" + QByteArray::number(c, 16);
                afterNumber = true;
            } else if (pair) {
                spelled += toUtf8(QStringView(value).sliced(i++, 2));
            } else if (c >= 0x80) {
                spelled += toUtf8(QStringView(&qch, 1));
            } else {
                spelled += char(c);
            }
        }
    }
    if (quoted || spelled.startsWith(' ') || spelled.endsWith(' '))
        out.append('"').append(spelled).append('"');
    else
        out.append(spelled);
}

// The character that a backslash and `c` stand for; 0 when no single one.
char simpleEscape(char c)
{
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return c;
    default:
        return 0;
    }
}

void chopBlanks(QString &text, qsizetype limit)
{
    qsizetype end = text.size();
    while (end > limit && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    text.truncate(end);
}

// The value after a key's '=', its escapes and quotes undone: one element, or
// several where commas outside quotes part them. Blanks around an element go
// unless quoted.
QStringList valueFrom(QByteArrayView spelled)
{
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    QStringList elements;
    QString current;
    bool inQuotes = false;
    bool currentQuoted = false;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < spelled.size() && (spelled[i] == ' ' || spelled[i] == '\t'))
            ++i;
    };
    skipBlanks();
    // Blanks that an escape produced stay.
    qsizetype chopLimit = 0;
    while (i < spelled.size()) {
        const char c = spelled[i];
        if (c == '\\') {
            if (++i == spelled.size())
                return elements << current;
            const char escaped = spelled[i++];
            const char simple = simpleEscape(escaped);
            int base = 0;
            char16_t number = 0;
            if (simple != 0) {
                current += QLatin1Char(simple);
            } else if (escaped == 'x') {
                if (i == spelled.size())
                    return elements << current;
                if (hexValue(spelled[i]) >= 0)
                    base = 16;
            } else if (octalValue(escaped) >= 0) {
                base = 8;
                number = char16_t(octalValue(escaped));
            } else if (escaped == '\n' || escaped == '\r') {
                if (i < spelled.size() && (spelled[i] == '\n' || spelled[i] == '\r') &&
                    spelled[i] != escaped)
                    ++i;
            }
            if (base != 0) {
                const auto digit = [&] {
                    return base == 16 ? hexValue(spelled[i]) : octalValue(spelled[i]);
                };
                for (; i < spelled.size() && digit() >= 0; ++i)
                    number = char16_t(number * base + digit());
                current += QChar(number);
                if (i == spelled.size())
                    return elements << current;
            }
            chopLimit = current.size();
        } else if (c == '"') {
            ++i;
            currentQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                chopLimit = current.size();
            }
        } else if (c == ',' && !inQuotes) {
            if (!currentQuoted)
                chopBlanks(current, chopLimit);
            elements << current;
            current.clear();
            currentQuoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
        } else {
            qsizetype end = i + 1;
            while (end < spelled.size() && spelled[end] != '\\' && spelled[end] != '"' &&
                   spelled[end] != ',')
                ++end;
            current += fromUtf8(spelled.sliced(i, end - i));
            i = end;
        }
    }
    if (!currentQuoted)
        chopBlanks(current, chopLimit);
    return elements << current;
}

// True when a value reads as its bytes: no escapes, quotes or list, no blanks
// to drop around it, and none of QSettings's own spellings beginning with '@'.
// Its last byte is a character of its own, so that no blank before a cut-off
// UTF-8 sequence becomes the last character.
bool isPlainValue(QByteArrayView spelled)
{
    if (spelled.isEmpty())
        return true;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const bool endsInAscii = uchar(spelled.back()) < 0x80 && !isBlank(spelled.back());
    return !isBlank(spelled.front()) && endsInAscii && spelled.front() != '@' &&
           std::none_of(spelled.begin(), spelled.end(),
                        [](char c) { return c == '\\' || c == '"' || c == ','; });
}

// The arguments of "@Rect(1 2 3 4)" and its like, counted as QSettings counts them.
qsizetype argumentCount(const QString &element, qsizetype open)
{
    qsizetype count = 0;
    for (qsizetype i = open + 1; i < element.size(); ++i)
        count += element.at(i) == u' ' || element.at(i) == u')';
    return count;
}

// The text of one element as the programs read it. QSettings spells some
// values it does not hold as text with a leading '@': such a value has no
// text, bar the few that stand for text.
QString elementText(const QString &element)
{
    if (!element.startsWith(u'@'))
        return element;
    if (element.endsWith(u')')) {
        if (element.startsWith("@ByteArray("_L1))
            return QString::fromUtf8(QStringView(element).sliced(11).chopped(1).toLatin1());
        if (element.startsWith("@String("_L1))
            return element.sliced(8).chopped(1);
        if (element.startsWith("@Variant("_L1) || element.startsWith("@DateTime("_L1) ||
            element == "@Invalid()"_L1 ||
            (element.startsWith("@Rect("_L1) && argumentCount(element, 5) == 4) ||
            (element.startsWith("@Size("_L1) && argumentCount(element, 5) == 2) ||
            (element.startsWith("@Point("_L1) && argumentCount(element, 6) == 2))
            return {};
    }
    if (element.startsWith("@@"_L1))
        return element.sliced(1);
    return element;
}

// A text as QSettings stores it, so that it reads back as that text.
QString elementOf(const QString &text)
{
    if (text.contains(QChar::Null))
        return "@String("_L1 + text + u')';
    if (text.startsWith(u'@'))
        return u'@' + text;
    return text;
}

// A value spelled anew from the text of each of its elements. As typed by
// hand, a value may hold a spelling that QSettings would take for one of its
// own (such as "@Variant(" once the key before it is spelled otherwise).
void appendRespelled(QByteArrayView spelled, QByteArray &out)
{
    const QStringList elements = valueFrom(spelled);
    for (qsizetype i = 0; i < elements.size(); ++i) {
        if (i > 0)
            out += ", ";
        appendValue(elementOf(elementText(elements.at(i))), out);
    }
}

} // namespace

namespace
{

// True when `spelled` is how the file writes the name it reads as `name`.
bool spells(QByteArrayView spelled, const QString &name)
{
    // Most names are spelled as they are.
    if (std::all_of(name.begin(), name.end(), [](QChar c) {
            return c.unicode() < 0x80 && isPlainNameCharacter(char(c.unicode()));
        }))
        return QLatin1StringView(spelled) == name;
    QByteArray written;
    appendName(name, written);
    return written == spelled;
}

// True when `spelled` is how the file writes the name it reads as, and that
// name holds no '/': letters, digits, '_', '-' and '.' as they are, every
// other character below U+0100 but '/' as %XX, every other as %UXXXX. Puts
// the name into `name` when one is given.
bool isWrittenSpelling(QByteArrayView spelled, QString *name = nullptr)
{
    const auto isUpperHexDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    };
    const auto plainEnd = std::find_if_not(spelled.begin(), spelled.end(),
                                           [](char c) { return isPlainNameCharacter(c); });
    if (plainEnd == spelled.end()) {
        if (name)
            *name = QString::fromLatin1(spelled);
        return !spelled.isEmpty();
    }
    char16_t *out = nullptr;
    if (name) {
        name->resize(spelled.size());
        out = reinterpret_cast<char16_t *>(name->data());
    }
    qsizetype length = 0;
    for (qsizetype i = 0; i < spelled.size(); ++i, ++length) {
        int code = uchar(spelled[i]);
        if (!isPlainNameCharacter(spelled[i])) {
            if (code != '%')
                return false;
            const bool wide = i + 1 < spelled.size() && spelled[i + 1] == 'U';
            const qsizetype digits = wide ? 4 : 2;
            const qsizetype first = i + 1 + (wide ? 1 : 0);
            if (first + digits > spelled.size())
                return false;
            code = 0;
            for (qsizetype at = first; at < first + digits; ++at) {
                if (!isUpperHexDigit(spelled[at]))
                    return false;
                code = code * 16 + hexValue(spelled[at]);
            }
            if (wide ? code <= 0xFF
                     : code < 0x80 && (isPlainNameCharacter(char(code)) || code == '/'))
                return false;
            i = first + digits - 1;
        }
        if (out)
            out[length] = char16_t(code);
    }
    if (name)
        name->truncate(length);
    return !spelled.isEmpty();
}

} // namespace

QString escapeSection(const QString &section)
{
    // Most names hold neither '%' nor '/'.
    if (!section.contains(u'%') && !section.contains(u'/') &&
        section.compare("general"_L1, Qt::CaseInsensitive) != 0)
        return section;
    QString escaped = section;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%25"));
    escaped.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    // QSettings files every spelling of "general" under "General"; any other
    // spelling keeps its own section with its first letter escaped.
    if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0 &&
        section != QLatin1String("General"))
        escaped.replace(0, 1, QStringLiteral("%%1").arg(section.at(0).unicode(), 2, 16));
    return escaped;
}

QString unescapeSection(const QString &escaped)
{
    QString section;
    section.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        bool isHex = false;
        const int code = escaped.mid(i + 1, 2).toInt(&isHex, 16);
        if (escaped.at(i) == QLatin1Char('%') && i + 2 < escaped.size() && isHex) {
            section += QChar(code);
            i += 2;
        } else {
            section += escaped.at(i);
        }
    }
    return section;
}

namespace
{

// The section of the keys under a header that names none ("[]", "[ ]", a
// lone "["). QSettings gives such keys names that begin with '/', which no
// read of a section's key finds: they are kept apart, not put among the keys
// outside any section, and written back under "[]" as they were, where
// QSettings again finds none of them. No section the programs read or write
// has a '/' in its name.
const QString Nameless = QStringLiteral("/");

} // namespace

Contents Contents::parse(const QByteArray &file)
{
    Contents contents;
    contents.source = file;
    const QByteArrayView text = contents.source;
    // Room for as many sections as there may be headers.
    qsizetype headers = 1;
    for (const char *at = text.data(), *end = at + text.size();
         (at = static_cast<const char *>(std::memchr(at, '[', size_t(end - at)))); ++at)
        ++headers;
    contents.sections.reserve(headers);
    contents.index.reserve(headers);
    // A byte order mark before the first line that is kept is skipped.
    bool first = true;
    // The section the lines belong to, as QSettings names it: a name with a
    // '/' puts the lines' keys into the section before it. Keys before the
    // first section belong to none, unless they hold a '/' themselves.
    QString group;
    bool inGroup = false;
    // The one section the lines' keys go into; none when the group's name
    // holds a '/' or there is no group.
    const auto groupSection = [&]() -> Section * {
        if (!inGroup || group.contains(u'/'))
            return nullptr;
        return &contents.section(group.isEmpty() ? Nameless : group);
    };
    Section *current = nullptr;
    for (qsizetype at = 0; at < text.size();) {
        QString name;
        qsizetype keys = 0;
        if (text[at] == '[') {
            if (const qsizetype end = contents.unparsedEnd(text, at, name, keys); end >= 0) {
                contents.index.insert(name, contents.sections.size());
                contents.sections.append({name, text.sliced(at, end - at), {}, {}, keys});
                first = false;
                at = end;
                continue;
            }
        }
        const qsizetype length = lineLength(text, at);
        QByteArrayView line = text.sliced(at, length);
        at += length + 1;
        if (!isWhole(line))
            continue;
        if (std::exchange(first, false) && line.startsWith("\xef\xbb\xbf"))
            line = line.sliced(3);
        qsizetype start = 0;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
            ++start;
        // The line ends at a ';' outside quotes; its key at the first '=' outside quotes.
        qsizetype end = start;
        qsizetype equals = -1;
        bool quoted = false;
        for (; end < line.size(); ++end) {
            const char c = line[end];
            if (c == '\\')
                ++end;
            else if (c == '"')
                quoted = !quoted;
            else if (c == '=' && !quoted && equals < 0)
                equals = end;
            else if (c == ';' && !quoted)
                break;
        }
        const QByteArrayView logical = line.sliced(start, qMin(end, line.size()) - start);
        if (logical.startsWith('[')) {
            const qsizetype close = logical.indexOf(']');
            const QByteArrayView name =
                logical.first(close < 0 ? logical.size() : close).sliced(1).trimmed();
            inGroup = name.compare("general", Qt::CaseInsensitive) != 0;
            if (!inGroup)
                group.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                group = QString::fromLatin1(name.sliced(1));
            else
                group = nameFrom(name);
            current = groupSection();
        } else if (equals >= 0) {
            const QString key = nameFrom(line.sliced(start, equals - start).trimmed());
            const QByteArrayView spelled =
                line.sliced(equals + 1, logical.size() - (equals - start) - 1);
            const Value value = QByteArray::fromRawData(spelled.data(), spelled.size());
            const int depth = inGroup ? int(group.count(u'/')) + 1 : 0;
            if (current) {
                current->set(key, value, depth);
                continue;
            }
            const QString full = inGroup ? group + u'/' + key : key;
            // QSettings finds no key that begins or ends with '/' or holds "//".
            if (full.startsWith(u'/') || full.endsWith(u'/') || full.contains("//"_L1))
                continue;
            const qsizetype slash = full.indexOf(u'/');
            contents.section(slash < 0 ? QString() : full.left(slash))
                .set(full.mid(slash + 1), value, depth);
            // Sections may have moved in memory.
            current = groupSection();
        }
    }
    return contents;
}

qsizetype Contents::unparsedEnd(QByteArrayView text, qsizetype at, QString &name,
                                qsizetype &keys) const
{
    const auto lineEnd = [&](qsizetype from) {
        const void *found = std::memchr(text.data() + from, '\n', size_t(text.size() - from));
        return found ? static_cast<const char *>(found) - text.data() : text.size();
    };
    const auto isPlain = [](char c) { return isPlainNameCharacter(c); };
    const qsizetype headerEnd = lineEnd(at);
    const QByteArrayView header = text.sliced(at, headerEnd - at);
    if (header.size() < 3 || header.back() != ']' ||
        !isWrittenSpelling(header.sliced(1, header.size() - 2), &name) ||
        (name.size() == 7 && name.compare("general"_L1, Qt::CaseInsensitive) == 0) ||
        index.contains(name))
        return -1;
    // Its lines, up to the next header: "key=value" with the key spelled as it
    // is written, or empty. A damaged line that begins with '[' is no header,
    // and the lines after it still belong to this section.
    const qsizetype bodyStart = qMin(headerEnd + 1, text.size());
    qsizetype end = bodyStart;
    for (qsizetype next = bodyStart; next < text.size();) {
        const qsizetype stop = lineEnd(next);
        const QByteArrayView line = text.sliced(next, stop - next);
        if (line.startsWith('[')) {
            if (!isWhole(line))
                return -1;
            break;
        }
        next = qMin(stop + 1, text.size());
        if (line.isEmpty())
            continue;
        // Most keys are spelled as they are, up to their '='.
        const auto plainEnd = std::find_if_not(line.begin(), line.end(), isPlain);
        const bool plainKey = plainEnd != line.end() && *plainEnd == '=';
        const qsizetype equals = plainKey ? plainEnd - line.begin() : line.indexOf('=');
        if (equals <= 0 || (!plainKey && !isWrittenSpelling(line.first(equals))))
            return -1;
        ++keys;
        end = next;
    }
    // Nothing in them quotes, escapes or ends a value early, no line ends at
    // a carriage return, and no value is decoded from binary.
    const QByteArrayView body = text.sliced(bodyStart, end - bodyStart);
    const auto holds = [&](char c) { return std::memchr(body.data(), c, body.size()) != nullptr; };
    if (holds(';') || holds('"') || holds('\\') || holds('\r'))
        return -1;
    if (holds('@')) {
        for (qsizetype next = 0; next < body.size();) {
            qsizetype stop = body.indexOf('\n', next);
            stop = stop < 0 ? body.size() : stop;
            if (holdsBinaryValue(body.sliced(next, stop - next)))
                return -1;
            next = stop + 1;
        }
    }
    return end;
}

QByteArray Contents::text() const
{
    QByteArray out;
    out.reserve(source.size() + source.size() / 8 + 256);
    for (const Section &section : sections) {
        if (section.keyCount == 0)
            continue;
        if (!out.isEmpty())
            out += '\n';
        if (!section.unparsed.isEmpty()) {
            out += section.unparsed;
            if (!out.endsWith('\n'))
                out += '\n';
            continue;
        }
        QByteArray header;
        appendName(section.name, header);
        if (section.name == Nameless)
            out += "[]\n";
        else if (header.isEmpty())
            out += "[General]\n";
        else if (header.compare("general", Qt::CaseInsensitive) == 0)
            out.append("[%").append(header).append("]\n");
        else
            out.append('[').append(header).append("]\n");
        for (const Entry &entry : section.entries) {
            if (entry.removed)
                continue;
            appendName(entry.key, out);
            out += '=';
            if (isPlainValue(entry.value))
                out += entry.value;
            else
                appendRespelled(entry.value, out);
            out += '\n';
        }
    }
    return out;
}

QString Contents::read(const QString &section, const QString &key, const QString &fallback) const
{
    const std::optional<QByteArrayView> spelled = value(escapeSection(section), key);
    if (!spelled)
        return fallback;
    if (isPlainValue(*spelled)) {
        // As QSettings decodes it: an incomplete sequence at the end is dropped.
        QStringDecoder fromUtf8(QStringDecoder::Utf8);
        return fromUtf8(*spelled);
    }
    QStringList texts = valueFrom(*spelled);
    for (QString &element : texts)
        element = elementText(element);
    return texts.join(", "_L1);
}

bool Contents::write(const QString &section, const QString &key, const QString &value)
{
    const QString name = escapeSection(section);
    const std::optional<QByteArrayView> current = this->value(name, key);
    const QString element = elementOf(value);
    if (current && valueFrom(*current) == QStringList{element})
        return false;
    QByteArray spelled;
    appendValue(element, spelled);
    this->section(name).set(key, spelled);
    return true;
}

bool Contents::removeKey(const QString &section, const QString &key)
{
    const auto at = index.constFind(escapeSection(section));
    if (at == index.constEnd())
        return false;
    sections[*at].parse();
    return sections[*at].remove(key);
}

bool Contents::removeSection(const QString &section)
{
    const auto at = index.constFind(escapeSection(section));
    if (at == index.constEnd() || sections[*at].keyCount == 0)
        return false;
    sections[*at].clear();
    return true;
}

Contents::Section &Contents::section(const QString &name)
{
    auto at = index.constFind(name);
    if (at == index.constEnd()) {
        at = index.insert(name, sections.size());
        sections.append({name, {}, {}, {}, 0});
    }
    sections[*at].parse();
    return sections[*at];
}

namespace
{

// Sections of up to this many keys are searched key by key.
constexpr qsizetype FewKeys = 8;

} // namespace

std::optional<QByteArrayView> Contents::value(const QString &name, const QString &key) const
{
    const auto at = index.constFind(name);
    if (at == index.constEnd())
        return {};
    Section &found = sections[*at];
    // A few keys are looked for line by line; many are parsed once, for all
    // later reads.
    if (found.keyCount > FewKeys)
        found.parse();
    return found.value(key);
}

namespace
{

// Calls `take` with the key's and the value's spelling of each line of a
// section kept as the file holds it, in the file's order.
template <typename Take> void forEachKeyLine(QByteArrayView unparsed, Take take)
{
    for (qsizetype at = unparsed.indexOf('\n') + 1; at > 0 && at < unparsed.size();) {
        qsizetype end = unparsed.indexOf('\n', at);
        end = end < 0 ? unparsed.size() : end;
        const QByteArrayView line = unparsed.sliced(at, end - at);
        at = end + 1;
        if (const qsizetype equals = line.indexOf('='); equals > 0)
            take(line.first(equals), line.sliced(equals + 1));
    }
}

} // namespace

std::optional<QByteArrayView> Contents::Section::value(const QString &key) const
{
    if (unparsed.isEmpty()) {
        const Entry *entry = find(key);
        return entry ? std::optional<QByteArrayView>(entry->value) : std::nullopt;
    }
    // Of two lines that give the key, the later one counts.
    std::optional<QByteArrayView> found;
    forEachKeyLine(unparsed, [&](QByteArrayView spelledKey, QByteArrayView spelledValue) {
        if (spells(spelledKey, key))
            found = spelledValue;
    });
    return found;
}

const Contents::Entry *Contents::Section::find(const QString &key) const
{
    if (!byKey.isEmpty()) {
        const auto at = byKey.constFind(key);
        return at == byKey.constEnd() ? nullptr : &entries.at(*at);
    }
    for (const Entry &entry : entries) {
        if (!entry.removed && entry.key == key)
            return &entry;
    }
    return nullptr;
}

Contents::Entry *Contents::Section::find(const QString &key)
{
    return const_cast<Entry *>(std::as_const(*this).find(key));
}

void Contents::Section::set(const QString &key, const Value &value, int depth)
{
    if (Entry *entry = find(key)) {
        if (depth >= entry->depth) {
            entry->value = value;
            entry->depth = depth;
        }
        return;
    }
    entries.append({key, value, false, depth});
    ++keyCount;
    if (!byKey.isEmpty()) {
        byKey.insert(key, entries.size() - 1);
    } else if (entries.size() > FewKeys) {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (!entries.at(i).removed)
                byKey.insert(entries.at(i).key, i);
        }
    }
}

bool Contents::Section::remove(const QString &key)
{
    Entry *entry = find(key);
    if (!entry)
        return false;
    entry->removed = true;
    entry->value.clear();
    byKey.remove(key);
    --keyCount;
    return true;
}

void Contents::Section::clear()
{
    unparsed = {};
    entries.clear();
    byKey.clear();
    keyCount = 0;
}

void Contents::Section::parse()
{
    const QByteArrayView lines = std::exchange(unparsed, {});
    if (lines.isEmpty())
        return;
    keyCount = 0;
    forEachKeyLine(lines, [this](QByteArrayView spelledKey, QByteArrayView spelledValue) {
        // As deep as the keys of any section with no '/' in its name.
        set(nameFrom(spelledKey), Value::fromRawData(spelledValue.data(), spelledValue.size()), 1);
    });
}

} // namespace storefile
