#pragma once

#include <QDate>
#include <QString>

// The local date as the ten characters mm-dd-yyyy, whatever the user's locale.
QString dateText(const QDate &date);

// Where "today" comes from; tests set it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
    QString todayText() const { return dateText(today()); }
};

class SystemClock : public Clock
{
public:
    QDate today() const override { return QDate::currentDate(); }
};
