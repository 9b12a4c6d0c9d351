#include "screenshot.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

bool shotsWanted()
{
    return !qEnvironmentVariableIsEmpty("FOLVANE_SHOTS");
}

void saveShot(QWidget *widget, const QString &name)
{
    if (!shotsWanted() || !widget)
        return;
    const QString dir = qEnvironmentVariable("FOLVANE_SHOTS");
    QDir().mkpath(dir);
    widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}
