#pragma once

#include <QString>

// What reads the store's values: the store itself, or its contents as one
// change finds them while it holds the writers' lock.
class StoreReading
{
public:
    // The stored text; `fallback` when the key or its section is absent.
    // A stored empty value reads as the empty string.
    virtual QString read(const QString &section, const QString &key,
                         const QString &fallback = {}) const = 0;

protected:
    ~StoreReading() = default;
};
