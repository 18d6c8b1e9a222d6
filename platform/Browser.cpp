#include "Browser.h"

#include "ProgramStart.h"

#include <QDesktopServices>
#include <QUrl>

void Browser::open(const QString &url)
{
    // An address typed without a scheme ("www.example.com") is a web address,
    // as it is for the download. Nothing but web addresses is handed on: an
    // address such as file:// or another program's scheme must never start
    // something else on the desktop.
    const QUrl address = QUrl::fromUserInput(url.trimmed());
    const QString scheme = address.scheme();
    if (!address.isValid() || address.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    // The desktop starts the browser as a child of ours.
    programstart::keepDescriptorsToOurselves();
    QDesktopServices::openUrl(address);
}
