#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    startup::describeApplication();
    // The help text and the version need no display.
    if (startup::onlyAsksForInformation(argc, argv)) {
        QCoreApplication app(argc, argv);
        startup::parseCommandLine(app);
        return 0;
    }
    QApplication app(argc, argv);
    const startup::Options options = startup::parseCommandLine(app);
    const QStringList translations = startup::installTranslations(app);
    if (options.checkTranslations)
        return startup::reportTranslations(translations);
    if (!startup::claimSingleInstance(app))
        return 0;
    startup::applyStyleSheet(app);
    return startup::runSession(app);
}
