#include "app/startup.h"

#include "app/dlogin.h"
#include "app/mainwidget.h"
#include "core/gcore.h"
#include "core/trustgate.h"
#include "widgets/dtrustcertificate.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
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
    QFile file(QStringLiteral(":/qss.css"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    app.setStyleSheet(QString::fromLocal8Bit(file.readAll()));
}

void installTrustDialog()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    TrustGate *gate = TrustGate::instance();
    QObject::connect(gate, &TrustGate::trustRequested, gate, [gate](const CertificateInfo &info) {
        const bool trusted = DTrustCertificate::askUser(info);
        // The pin is in place before any waiting call goes on.
        if (trusted)
            GCore::instance()->pinCertificate(info);
        gate->answer(info, trusted);
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, gate, &TrustGate::shutDown);
}

int runSession(QApplication &app)
{
    GCore::instance();
    installTrustDialog();
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
