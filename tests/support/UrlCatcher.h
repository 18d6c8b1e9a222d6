#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the desktop's browser: records what would have been opened.
// Install it with QDesktopServices::setUrlHandler(scheme, catcher, "openUrl").
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
};
