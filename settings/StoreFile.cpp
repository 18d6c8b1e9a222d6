#include "StoreFile.h"

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

} // namespace storefile
