#include "Layout.h"

#include "Store.h"

namespace layout
{

namespace
{

QString keyOf(int position)
{
    return QString::number(position);
}

} // namespace

QStringList actions(const Store &store)
{
    QStringList list;
    for (int position = 1; position <= MaxPosition; ++position) {
        const QString description = store.read(ActionList, keyOf(position));
        if (description.isEmpty())
            break;
        list.append(description);
    }
    return list;
}

int positionOf(const Store &store, const QString &description, int count)
{
    bool isNumber = false;
    const int nr = store.read(description, Nr).toInt(&isNumber);
    if (isNumber && nr >= 1 && nr <= MaxPosition &&
        store.read(ActionList, keyOf(nr)) == description)
        return nr;
    for (int position = 1; position <= count && position <= MaxPosition; ++position) {
        if (store.read(ActionList, keyOf(position)) == description)
            return position;
    }
    return 0;
}

Action actionNamed(const Store &store, const QString &description)
{
    return {description, store.read(description, Url), store.read(description, Check)};
}

bool append(Store &store, int count, const Action &action)
{
    if (count < 0 || count >= MaxPosition)
        return false;
    const QString position = keyOf(count + 1);
    Store::Change change;
    change.write(ActionList, position, action.description);
    change.write(action.description, Url, action.url);
    change.write(action.description, Check, action.check);
    change.write(action.description, Nr, position);
    return store.apply(change);
}

bool change(Store &store, const Action &action)
{
    Store::Change change;
    change.write(action.description, Url, action.url);
    change.write(action.description, Check, action.check);
    return store.apply(change);
}

bool rename(Store &store, int count, const QString &oldDescription, const Action &action)
{
    const int position = positionOf(store, oldDescription, count);
    if (position == 0)
        return false;
    const QString key = keyOf(position);
    Store::Change change;
    change.write(ActionList, key, action.description);
    change.write(action.description, Url, action.url);
    change.write(action.description, Check, action.check);
    change.write(action.description, Nr, key);
    // A hand-made entry may have no section of its own: nothing to remove then.
    change.removeSection(oldDescription);
    return store.apply(change);
}

bool remove(Store &store, int count, const QString &description)
{
    if (count < 1 || count > MaxPosition)
        return false;
    const int position = positionOf(store, description, count);
    const QString last = store.read(ActionList, keyOf(count));
    if (position == 0 || last.isEmpty())
        return false;
    Store::Change change;
    change.write(ActionList, keyOf(position), last);
    change.write(last, Nr, keyOf(position));
    change.removeKey(ActionList, keyOf(count));
    change.removeSection(description);
    return store.apply(change);
}

void clearCheckDate(Store &store)
{
    if (!store.read(Settings, CheckDate).isEmpty())
        store.removeKey(Settings, CheckDate);
}

} // namespace layout
