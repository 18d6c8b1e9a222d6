#include "ActionEditing.h"

#include "EditorState.h"
#include "Layout.h"
#include "Store.h"

namespace editing
{

namespace
{

const QString ReservedName =
    QStringLiteral("This Description is reserved for the program's own settings! "
                   "Please enter another Description.");
const QString NameInUse = QStringLiteral("An action with this Description already exists! "
                                         "Please enter another Description.");
const QString ListFull =
    QStringLiteral("The Action List is full! Please remove an action before adding a new one.");
const QString NotSaved = QStringLiteral("The action couldn't be saved in the settings!");
const QString NotRemoved = QStringLiteral("The action couldn't be removed from the settings!");

// Why `description` cannot become the name of an action, or empty when it can.
// The description is also its section's name, so it must not be one of the
// fixed sections nor another action's.
QString nameRefusal(const Store &store, const EditorState &state, const QString &description)
{
    if (description == layout::ActionList || description == layout::Settings)
        return ReservedName;
    if (layout::positionOf(store.current(), description, state.actionCount) != 0)
        return NameInUse;
    return {};
}

} // namespace

QString missingField(const Action &action)
{
    if (action.description.isEmpty())
        return QStringLiteral("Please enter a Description!");
    if (action.url.isEmpty())
        return QStringLiteral("Please enter an URL!");
    if (action.check.isEmpty())
        return QStringLiteral("Please enter a Check String!");
    return {};
}

QString add(Store &store, EditorState &state, const Action &action)
{
    if (state.actionCount >= layout::MaxPosition)
        return ListFull;
    if (const QString refusal = nameRefusal(store, state, action.description); !refusal.isEmpty())
        return refusal;
    const int length = layout::append(store, action);
    if (length == 0)
        return NotSaved;
    state.actionCount = qint16(length);
    state.changesMade = true;
    return {};
}

QString modify(Store &store, EditorState &state, const Action &action)
{
    const QString &old = state.selectedAction;
    if (action.description == old) {
        if (!layout::change(store, action))
            return NotSaved;
    } else {
        if (const QString refusal = nameRefusal(store, state, action.description);
            !refusal.isEmpty())
            return refusal;
        if (!layout::rename(store, state.actionCount, old, action))
            return NotSaved;
    }
    state.changesMade = true;
    return {};
}

QString remove(Store &store, EditorState &state, const QString &description)
{
    const std::optional<int> length = layout::remove(store, description);
    if (!length)
        return NotRemoved;
    state.actionCount = qint16(*length);
    return {};
}

} // namespace editing
