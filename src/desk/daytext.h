#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// A time the server sent in milliseconds since 1970, as the local day
// "yyyy-MM-dd" that the desktop and the announcement viewer show.
inline QString dayText(const QVariant &milliseconds)
{
    return QDateTime::fromMSecsSinceEpoch(milliseconds.toLongLong())
        .toString(QStringLiteral("yyyy-MM-dd"));
}
