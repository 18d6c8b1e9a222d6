#include "CommandLine.h"

#include "StartupOptions.h"

#include <QCommandLineParser>
#include <array>

namespace
{

struct ItemOption {
    commandline::MenuItem item;
    const char *name;
    const char *description;
};

// In the menu's order.
constexpr std::array<ItemOption, 5> ItemOptions{{
    {commandline::MenuItem::Debug, "debug", "Show the status window (Debug)."},
    {commandline::MenuItem::About, "about", "Show the About window."},
    {commandline::MenuItem::CheckNow, "check-now", "Check every page now (Check Now)."},
    {commandline::MenuItem::LaunchConfig, "launch-config", "Start Quorlin Config."},
    {commandline::MenuItem::Exit, "exit", "End the running checker."},
}};

// Qt's own options, which Qt reads when the checker's windows start: taken
// here too, so that they are not refused, and left to Qt.
constexpr std::array QtOptionsWithValue{
    "platform", "platformpluginpath", "platformtheme", "plugin",
    "display",  "qwindowgeometry",    "qwindowicon",   "qwindowtitle",
    "style",    "stylesheet",         "session"};
constexpr std::array QtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync"};

commandline::Command refusal(const QString &what)
{
    return {2, QStringLiteral("Quorlin: %1\n").arg(what), std::nullopt};
}

} // namespace

namespace commandline
{

Command parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    // "-platform" is one option, as Qt reads it, not six letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Watches web pages for changes from the notification area. Each option "
                       "hands its item of the tray menu to the checker that runs for this "
                       "store, or starts one that does the item."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const ItemOption &option : ItemOptions)
        parser.addOption(
            {QString::fromLatin1(option.name), QString::fromLatin1(option.description)});
    for (const char *name : QtOptionsWithValue) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char *name : QtFlags) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    if (!parser.parse(arguments))
        return refusal(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refusal(QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help))
        return {0, parser.helpText(), std::nullopt};
    if (parser.isSet(version))
        return {0, QStringLiteral("Quorlin %1\n").arg(startup::Version), std::nullopt};

    Command command;
    for (const ItemOption &option : ItemOptions) {
        if (!parser.isSet(QString::fromLatin1(option.name)))
            continue;
        if (command.item)
            return refusal(QStringLiteral("give one item of the menu at a time"));
        command.item = option.item;
    }
    return command;
}

QByteArray requestFor(MenuItem item)
{
    for (const ItemOption &option : ItemOptions) {
        if (option.item == item)
            return option.name;
    }
    return {};
}

std::optional<MenuItem> itemFor(const QByteArray &request)
{
    for (const ItemOption &option : ItemOptions) {
        if (request == option.name)
            return option.item;
    }
    return std::nullopt;
}

} // namespace commandline
