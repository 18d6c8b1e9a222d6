#pragma once

#include <QAccessible>
#include <QLabel>
#include <QString>
#include <QtTest>

// What a label shows the person in front of it, as a screen reader reads it:
// the text as written when the label takes it as plain text, only the words
// between the tags when it takes it as markup.
inline QString shownText(QLabel *label)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(label);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// Texts of the user's that look like markup: each must show exactly as written.
inline void addMarkupRows()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("bold") << QStringLiteral("Notes <b>new</b>");
    QTest::newRow("link") << QStringLiteral("<a href=\"file:///etc/passwd\">Downloads</a>");
    QTest::newRow("entity") << QStringLiteral("Tom &amp; Jerry");
    QTest::newRow("line break") << QStringLiteral("one<br>two");
}
