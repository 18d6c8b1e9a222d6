#pragma once

#include "ActionEditor.h"
#include "ActionListWindow.h"
#include "Layout.h"
#include "Store.h"
#include "StoreFault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QtTest>
#include <memory>

// Helpers shared by the tests of the config editor's windows.
namespace configtest
{

// The widget named `name` inside `window`; fails the test when there is none.
template <typename T> T *child(QWidget *window, const QString &name)
{
    T *widget = window->findChild<T *>(name);
    if (!widget)
        qFatal("no widget %s", qPrintable(name));
    return widget;
}

// Appends the actions to the store, each with URL "http://h/<d>.html" and
// check string "check <d>".
inline void fill(const QStringList &descriptions)
{
    Store store;
    for (int i = 0; i < descriptions.size(); ++i) {
        const QString &d = descriptions.at(i);
        if (!layout::append(store, d, QStringLiteral("http://h/") + d + QStringLiteral(".html"),
                            QStringLiteral("check ") + d))
            qFatal("could not fill the store");
    }
}

// Every key of the store file as "section/key" -> value. Nothing when the
// store's path holds no plain file, which QSettings might wait on for ever.
inline QMap<QString, QString> storeContents()
{
    QMap<QString, QString> contents;
    if (!QFileInfo(Store::defaultFilePath()).isFile())
        return contents;
    QSettings settings(Store::defaultFilePath(), QSettings::IniFormat);
    for (const QString &key : settings.allKeys())
        contents.insert(key, settings.value(key).toString());
    return contents;
}

// The rows of the action list window, top to bottom.
inline QStringList rows(ActionListWindow &listWindow)
{
    QStringList texts;
    const auto *list = child<QListWidget>(&listWindow, QStringLiteral("List1"));
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

inline void selectRow(ActionListWindow &listWindow, const QString &text)
{
    auto *list = child<QListWidget>(&listWindow, QStringLiteral("List1"));
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        qFatal("no row %s", qPrintable(text));
    list->setCurrentItem(found.first());
}

inline void click(QWidget *window, const QString &button)
{
    child<QPushButton>(window, button)->click();
}

inline QString field(ActionEditor *editor, const QString &name)
{
    return child<QLineEdit>(editor, name)->text();
}

inline void type(ActionEditor *editor, const QString &description, const QString &url,
                 const QString &check)
{
    child<QLineEdit>(editor, QStringLiteral("Text1"))->setText(description);
    child<QLineEdit>(editor, QStringLiteral("Text2"))->setText(url);
    child<QLineEdit>(editor, QStringLiteral("Text3"))->setText(check);
}

// The store file as it lies on disk; empty when there is none, or when the
// store's path holds no plain file.
inline QByteArray storeBytes()
{
    if (!QFileInfo(Store::defaultFilePath()).isFile())
        return {};
    QFile file(Store::defaultFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace configtest
