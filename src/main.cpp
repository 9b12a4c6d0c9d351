#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    startup::installTranslations(app);
    startup::applyStyleSheet(app);
    return startup::runSession(app);
}
