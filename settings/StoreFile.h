#pragma once

#include "StoreReading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

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
        // The section's lines as the file holds them, its header first, until
        // a change or a search among many keys needs them parsed. Most of a
        // file is written back as it stands and few of its sections are ever
        // read, so most lines are never parsed. Only lines that mean the same
        // wherever they stand are kept so: a header that names a section no
        // other header names, and keys spelled as they are written, each on
        // a line of its own with a value that holds no quote, escape or comment.
        QByteArrayView unparsed;
        // In the file's order; a removed key keeps its place, marked removed.
        QList<Entry> entries;
        // Where each key is, for a section of more than a few keys.
        QHash<QString, qsizetype> byKey;
        // The keys' lines, for a section not parsed yet.
        qsizetype keyCount = 0;

        // The value of `key`; none when the section does not hold it.
        std::optional<QByteArrayView> value(const QString &key) const;
        const Entry *find(const QString &key) const;
        Entry *find(const QString &key);
        void set(const QString &key, const Value &value, int depth = Written);
        bool remove(const QString &key);
        void clear();
        // Turns the lines kept as the file holds them into entries.
        void parse();
    };

    // The depth of a value the programs wrote: it replaces any other.
    static constexpr int Written = 1 << 30;

    // Where a section whose header starts at `at` ends, when its lines can
    // be kept as the file holds them; -1 otherwise. Counts their keys.
    qsizetype unparsedEnd(QByteArrayView text, qsizetype at, QString &name, qsizetype &keys) const;
    // The section as QSettings names it, parsed; made when there is none.
    Section &section(const QString &name);
    // The value of `key` in the section QSettings names `name`.
    std::optional<QByteArrayView> value(const QString &name, const QString &key) const;

    // The text parsed; the values read from it point into it.
    QByteArray source;
    // A removed section keeps its place, without keys, so that the index
    // stays valid. A section of many keys is parsed when first read.
    mutable QList<Section> sections;
    QHash<QString, qsizetype> index;
};

} // namespace storefile
