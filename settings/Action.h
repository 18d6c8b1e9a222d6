#pragma once

#include <QString>

// One entry of the action list, as the editor shows it and the store keeps it:
// the description names the action (and its section of the store), the URL is
// the page to download, and the check string is the text whose presence means
// the page has not changed.
struct Action {
    QString description;
    QString url;
    QString check;

    bool operator==(const Action &) const = default;
};
