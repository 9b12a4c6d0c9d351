#include "screenshot.h"

#include <QDir>
#include <QImage>
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

int darkestGrey(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    int least = 255;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            least = qMin(least, qGray(image.pixel(x, y)));
    }
    return least;
}
