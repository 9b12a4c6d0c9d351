#include "app/startup.h"

#include "app/dlogin.h"
#include "app/mainwidget.h"
#include "core/gcore.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QPalette>
#include <QScreen>
#include <QTranslator>

namespace startup {

void installTranslations(QApplication &app)
{
    // Looked up relative to the working directory; a missing file is ignored.
    auto *widgets = new QTranslator(&app);
    if (widgets->load(QStringLiteral("widgets.qm")))
        app.installTranslator(widgets);
    auto *qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qt_zh_CN.qm")))
        app.installTranslator(qt);
}

void applyStyleSheet(QApplication &app)
{
    // The text colour comes from the palette, not from a "color" rule: Qt 5
    // paints placeholders in the colour of such a rule, as dark as typed
    // text, while with the palette they keep the placeholder colour, the
    // text's at half strength.
    QPalette palette = app.palette();
    const QColor text(0x33, 0x33, 0x33);
    QColor placeholder = text;
    placeholder.setAlpha(128);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(group, role, text);
        palette.setColor(group, QPalette::PlaceholderText, placeholder);
    }
    app.setPalette(palette);

    QFile file(QStringLiteral(":/qss.css"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    app.setStyleSheet(QString::fromLocal8Bit(file.readAll()));
}

int runSession(QApplication &app)
{
    GCore::instance();
    // Versions fetched for a comparison are only needed while it is looked at.
    const int removed = GCore::removeStaleVersionFiles();
    if (removed > 0)
        qDebug() << "removed" << removed << "old files from the version cache";
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        qDebug() << "screen" << screen->geometry() << "available" << screen->availableGeometry();

    // The main window exists only after an accepted sign-in that left a token;
    // closing the dialog, or an acceptance without one, ends the program.
    int result = 0;
    {
        DLogin login(DLogin::defaultTitleBrush());
        result = login.exec();
    }
    if (result != QDialog::Accepted || GCore::instance()->token().isEmpty())
        return 0;

    MainWidget window(QColor(QStringLiteral("#0098f7")));
    window.show();
    return app.exec();
}

} // namespace startup
