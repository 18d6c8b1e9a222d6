#include "DateText.h"

QString dateText(const QDate &date)
{
    return date.toString(QStringLiteral("MM-dd-yyyy"));
}
