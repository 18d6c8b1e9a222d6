#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The store file's text as QSettings reads it. QSettings lets a quoted value
// run on past the end of its line and a backslash at the end of a line join the
// next line to it, so one line damaged by hand (a stray quote in a stretch of
// garbage, a cut-off quoted value) would swallow every section after it. A line
// that QSettings itself writes never does either.
namespace storefile
{

// True when some line does not end where it stands (a quote left open, or a
// backslash before the line break), or holds a value QSettings would decode
// from binary ("@Variant(...)", "@DateTime(...)"), which it never writes itself.
bool hasRunawayLines(QByteArrayView text);

// The text without those lines; every other line stays exactly as it was.
QByteArray withoutRunawayLines(QByteArrayView text);

} // namespace storefile
