#include "SettingsEditing.h"

#include "EditorState.h"
#include "Layout.h"
#include "Store.h"

namespace settingsdialog
{

namespace
{

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

bool ticked(const QString &stored)
{
    bool ok = false;
    const short value = stored.toShort(&ok, 10);
    return ok && value == 1;
}

QString missingProxyField(const Options &options)
{
    if (!options.proxy)
        return {};
    if (options.address.isEmpty())
        return QStringLiteral("Please Enter Firewall/Proxy Address(IP)!");
    if (options.port.isEmpty())
        return QStringLiteral("Please Enter Firewall/Proxy Port Number!");
    return {};
}

QString save(Store &store, EditorState &state, const Options &options)
{
    Store::Change change;
    change.write(layout::Settings, layout::Fw, flagText(options.proxy));
    change.write(layout::Settings, layout::FwIp, options.address);
    change.write(layout::Settings, layout::FwPort, options.port);
    change.write(layout::Settings, layout::Limit, flagText(options.limit));
    change.write(layout::Settings, layout::Always, flagText(options.always));
    if (!store.apply(change))
        return QStringLiteral("The settings couldn't be saved!");
    state.changesMade = true;
    return {};
}

} // namespace settingsdialog
