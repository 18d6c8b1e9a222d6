#include "StartupOptions.h"

#include "Layout.h"
#include "Store.h"

bool startup::hasActions(const Store &store)
{
    return !store.read(layout::ActionList, QStringLiteral("1")).isEmpty();
}

std::optional<QString> startup::proxyText(const Store &store)
{
    if (store.read(layout::Settings, layout::Fw) != QLatin1String("1"))
        return std::nullopt;
    return store.read(layout::Settings, layout::FwIp) + QLatin1Char(':') +
           store.read(layout::Settings, layout::FwPort);
}

qint16 startup::limitValue(const QString &text)
{
    bool ok = false;
    const short value = text.toShort(&ok, 10);
    return ok ? value : 0;
}

qint16 startup::dailyLimit(const Store &store)
{
    return limitValue(store.read(layout::Settings, layout::Limit, QStringLiteral("1")));
}

bool startup::alwaysConnected(const Store &store)
{
    return store.read(layout::Settings, layout::Always) == QLatin1String("1");
}

startup::Timers startup::timersFor(bool alwaysConnected)
{
    Timers timers;
    timers.timer1 = !alwaysConnected;
    timers.timer2 = true;
    timers.timer3 = alwaysConnected;
    return timers;
}
