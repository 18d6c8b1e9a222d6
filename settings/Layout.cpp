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

QStringList actions(const StoreReading &store)
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

int positionOf(const StoreReading &store, const QString &description, int count)
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

Action actionNamed(const StoreReading &store, const QString &description)
{
    return {description, store.read(description, Url), store.read(description, Check)};
}

int append(Store &store, const Action &action)
{
    int length = 0;
    const bool saved = store.update([&](const StoreReading &now, Store::Change &change) {
        const int count = int(actions(now).size());
        if (count >= MaxPosition)
            return false;
        const QString position = keyOf(count + 1);
        change.write(ActionList, position, action.description);
        change.write(action.description, Url, action.url);
        change.write(action.description, Check, action.check);
        change.write(action.description, Nr, position);
        length = count + 1;
        return true;
    });
    return saved ? length : 0;
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

std::optional<int> remove(Store &store, const QString &description)
{
    int length = 0;
    const bool saved = store.update([&](const StoreReading &now, Store::Change &change) {
        const int count = int(actions(now).size());
        const int position = positionOf(now, description, count);
        if (position == 0 || position > count)
            return false;
        const QString last = now.read(ActionList, keyOf(count));
        change.write(ActionList, keyOf(position), last);
        change.write(last, Nr, keyOf(position));
        change.removeKey(ActionList, keyOf(count));
        change.removeSection(description);
        length = count - 1;
        return true;
    });
    if (!saved)
        return std::nullopt;
    return length;
}

void clearCheckDate(Store &store)
{
    if (!store.read(Settings, CheckDate).isEmpty())
        store.removeKey(Settings, CheckDate);
}

} // namespace layout
