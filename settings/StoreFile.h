#pragma once

#include "StoreReading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The store file's text as QSettings reads and writes it. QSettings lets a
// quoted value run on past the end of its line and a backslash at the end of a
// line join the next line to it, so one line damaged by hand (a stray quote in a
// stretch of garbage, a cut-off quoted value) would swallow every section after
// it. A line that QSettings itself writes never does either.
namespace storefile
{

// True when some line does not end where it stands (a quote left open, or a
// backslash before the line break), or holds a value QSettings would decode
// from binary ("@Variant(...)", "@DateTime(...)"), which it never writes itself.
bool hasRunawayLines(QByteArrayView text);

// The text without those lines; every other line stays exactly as it was.
QByteArray withoutRunawayLines(QByteArrayView text);

// A section name as QSettings takes it, which reads '/' as a group separator,
// and back.
QString escapeSection(const QString &section);
QString unescapeSection(const QString &escaped);

// The sections, keys and values of one version of the file. It reads a file
// as QSettings reads it, lines damaged by hand left out, and writes a text that
// QSettings reads as the same sections, keys and values. Sections and keys keep
// the order in which the file holds them; new ones come last.
class Contents : public StoreReading
{
public:
    static Contents parse(const QByteArray &file);
    QByteArray text() const;

    QString read(const QString &section, const QString &key,
                 const QString &fallback = {}) const override;
    // Each returns whether it changed anything.
    bool write(const QString &section, const QString &key, const QString &value);
    bool removeKey(const QString &section, const QString &key);
    bool removeSection(const QString &section);

private:
    // A value as the file spells it after the key's '=', decoded only when
    // read: a file is mostly copied as it stands.
    using Value = QByteArray;
    struct Entry {
        QString key;
        Value value;
        bool removed = false;
        // How many names deep the file's section was that gave the value: of
        // lines that give one key (a section "a" with a key "b\\c", and a
        // section "a/b" with a key "c"), QSettings keeps the deepest section's.
        int depth = 0;
    };
    struct Section {
        // The section as QSettings names it; empty for keys outside any section.
        QString name;
        // In the file's order; a removed key keeps its place, marked removed.
        QList<Entry> entries;
        // Where each key is, for a section of more than a few keys.
        QHash<QString, qsizetype> byKey;
        qsizetype keyCount = 0;

        const Entry *find(const QString &key) const;
        Entry *find(const QString &key);
        void set(const QString &key, const Value &value, int depth = Written);
        bool remove(const QString &key);
        void clear();
    };

    // The depth of a value the programs wrote: it replaces any other.
    static constexpr int Written = 1 << 30;

    // The section as QSettings names it, made when there is none.
    Section &section(const QString &name);
    const Section *find(const QString &name) const;

    // The text parsed; the values read from it point into it.
    QByteArray source;
    // A removed section keeps its place, without keys, so that the index stays valid.
    QList<Section> sections;
    QHash<QString, qsizetype> index;
};

} // namespace storefile
