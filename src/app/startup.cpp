#include "app/startup.h"

#include "app/dlogin.h"
#include "app/mainwidget.h"
#include "core/gcore.h"
#include "core/singleinstance.h"
#include "core/trustgate.h"
#include "folvaneversion.h"
#include "widgets/dtrustcertificate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace startup {

namespace {

const QString checkTranslationsOption = QStringLiteral("check-translations");

void setUpParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Folvane Desktop, the client of an enterprise document server."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption check(checkTranslationsOption,
                             QStringLiteral("Print the translations loaded and end."));
    check.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(check);
}

// Loads the first of the folders' copies of the catalogue; empty when none
// loads.
QString loadCatalogue(QApplication &app, const QString &file, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(file);
        if (!QFileInfo::exists(path))
            continue;
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(path)) {
            translator->setParent(&app);
            app.installTranslator(translator.release());
            return path;
        }
    }
    return QString();
}

void bringToFront(QWidget *window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

void describeApplication()
{
    // The window system's class of every window ("folvane"), as the desktop
    // entry's StartupWMClass names it.
    QCoreApplication::setApplicationName(QStringLiteral("folvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FOLVANE_VERSION));
    QGuiApplication::setDesktopFileName(QLatin1String(desktopId));
}

bool onlyAsksForInformation(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    setUpParser(parser);
    parser.parse(arguments);
    // The names as given: -h, -?, --help, --help-all, -v, --version.
    const QStringList asked = parser.optionNames();
    for (const char *name : {"h", "?", "help", "help-all", "v", "version"}) {
        if (asked.contains(QLatin1String(name)))
            return true;
    }
    return false;
}

Options parseCommandLine(QCoreApplication &app)
{
    QCommandLineParser parser;
    setUpParser(parser);
    parser.process(app);
    Options options;
    options.checkTranslations = parser.isSet(checkTranslationsOption);
    return options;
}

QStringList translationFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {program, QDir::cleanPath(program + QStringLiteral("/../share/folvane/translations")),
            QDir::currentPath()};
}

QStringList installTranslations(QApplication &app)
{
    QStringList loaded;
    const QStringList folders = translationFolders();
    const QString widgets = loadCatalogue(app, QStringLiteral("widgets.qm"), folders);
    if (!widgets.isEmpty())
        loaded.append(widgets);
    // Qt's own catalogue, where Qt is installed with its translations, when
    // the client has no copy of its own.
    const QString qt = loadCatalogue(
        app, QStringLiteral("qt_zh_CN.qm"),
        folders + QStringList{QLibraryInfo::location(QLibraryInfo::TranslationsPath)});
    if (!qt.isEmpty())
        loaded.append(qt);
    if (loaded.size() < 2)
        qDebug() << "translations: looked in" << folders << "and found only" << loaded;
    return loaded;
}

int reportTranslations(const QStringList &loaded)
{
    for (const QString &path : loaded)
        std::printf("catalogue %s\n", qUtf8Printable(path));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    std::printf("button %s\n", qUtf8Printable(buttons.button(QDialogButtonBox::Ok)->text()));
    std::printf("button %s\n", qUtf8Printable(buttons.button(QDialogButtonBox::Cancel)->text()));
    std::fflush(stdout);
    return loaded.isEmpty() ? 1 : 0;
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

bool claimSingleInstance(QApplication &app)
{
    auto *instance = new SingleInstance(SingleInstance::defaultName(), &app);
    if (!instance->claim())
        return false;
    QObject::connect(instance, &SingleInstance::activationRequested, &app, &raiseWindow);
    return true;
}

void raiseWindow()
{
    // The main window is the client's one plain top-level window; the modal
    // dialog on show, if any, goes in front of it, as it would be in use.
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->windowType() == Qt::Window && window->isVisible()) {
            bringToFront(window);
            break;
        }
    }
    if (QWidget *modal = QApplication::activeModalWidget())
        bringToFront(modal);
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
