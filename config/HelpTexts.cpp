#include "HelpTexts.h"

namespace helptext
{

namespace
{

const QString DescriptionText =
    QStringLiteral("The name to display in the Action List you saw on the previous screen.");
const QString UrlText =
    QStringLiteral("The URL to check for updates. (ie. http://www.example.com/download.html).");
const QString CheckText =
    QStringLiteral("The string to check for. (ie. 'version 2.25'). If not found, Quorlin reacts.");

} // namespace

const Table &actionList()
{
    static const Table table = {
        {QStringLiteral("List1"), QStringLiteral("A list of Quorl events.")},
        {QStringLiteral("Command1"), QStringLiteral("Add a new event to the list.")},
        {QStringLiteral("Command2"), QStringLiteral("Modify an event in the list.")},
        {QStringLiteral("Command3"), QStringLiteral("Remove an event from the list.")},
        {QStringLiteral("Command6"), QStringLiteral("Configure Quorlin.")},
        {QStringLiteral("Command4"), QStringLiteral("About this program.")},
        {QStringLiteral("Command5"), QStringLiteral("Close Quorlin Config Program.")},
        {QStringLiteral("Frame1"), Default},
        {QStringLiteral("Frame2"), Default},
        {QStringLiteral("Frame3"), Default},
        {QStringLiteral("Frame4"), Default},
    };
    return table;
}

const Table &actionEditor()
{
    static const Table table = {
        {QStringLiteral("Label1"), DescriptionText},
        {QStringLiteral("Text1"), DescriptionText},
        {QStringLiteral("Label2"), UrlText},
        {QStringLiteral("Text2"), UrlText},
        {QStringLiteral("Label3"), CheckText},
        {QStringLiteral("Text3"), CheckText},
        {QStringLiteral("Command2"),
         QStringLiteral("Save above input, and return to the previous screen.")},
        {QStringLiteral("Command1"),
         QStringLiteral("Cancel any changes made, and return to the previous screen.")},
        {QStringLiteral("Frame1"), Default},
        {QStringLiteral("Frame2"), Default},
        {QStringLiteral("Frame3"), Default},
    };
    return table;
}

const Table &settingsDialog()
{
    static const QString address = QStringLiteral("Address to your HTTP proxy/firewall.");
    static const QString port =
        QStringLiteral("The port your proxy/firewall uses for HTTP transfers.");
    static const Table table = {
        {QStringLiteral("Check1"),
         QStringLiteral("Check this if you use a proxy/firewall to get on the net.")},
        {QStringLiteral("Label1"), address},
        {QStringLiteral("Text1"), address},
        {QStringLiteral("Label2"), port},
        {QStringLiteral("Text2"), port},
        {QStringLiteral("Check3"), QStringLiteral("If checked, Quorlin only downloads and checks "
                                                  "your sites once a day. Saves bandwidth.")},
        {QStringLiteral("Check2"),
         QStringLiteral("Check this if you are always connected to the internet. Do NOT check "
                        "this if you use a modem or similar.")},
        {QStringLiteral("Command1"),
         QStringLiteral("Save changes and return to the previous menu.")},
        {QStringLiteral("Command2"),
         QStringLiteral("Cancel changes and return to the previous menu.")},
        {QStringLiteral("Frame1"), Default},
        {QStringLiteral("Frame2"), Default},
        {QStringLiteral("Frame3"), Default},
        {QStringLiteral("Frame4"), Default},
    };
    return table;
}

} // namespace helptext
