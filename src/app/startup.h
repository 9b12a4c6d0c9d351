#pragma once

#include <QStringList>

class QApplication;
class QCoreApplication;

// The start-up of the client: its name and version, the command line, the two
// translations, the style sheet, the rule of one client per user, the
// process-wide context, then the sign-in dialog and, only after an accepted
// sign-in that left a token, the main window until it closes.
namespace startup {

// The desktop entry's id, which Wayland compositors match windows against.
constexpr const char *desktopId = "org.folvane.Folvane";

// Names the application and its version for the command line, the window
// system and the desktop; called before the application object exists.
void describeApplication();

// True when the command line only asks for the help text or the version,
// which are answered without a display.
bool onlyAsksForInformation(int argc, char *argv[]);

struct Options
{
    // Print the translation catalogues loaded and a standard button's text,
    // then end: how an installation is checked to find its translations.
    bool checkTranslations = false;
};

// Reads the command line; --help, --version and a wrong option end the
// process here with the usual output.
Options parseCommandLine(QCoreApplication &app);

// Where a catalogue is looked for, first match wins: beside the executable
// (a build folder), the installation's data folder relative to it (so any
// prefix works), then the working directory.
QStringList translationFolders();

// Loads widgets.qm and qt_zh_CN.qm from the first of translationFolders()
// holding each, Qt's own Chinese catalogue from Qt's translation folder when
// none does; returns the files loaded.
QStringList installTranslations(QApplication &app);

// Prints what checkTranslations asks for; returns the process's exit code.
int reportTranslations(const QStringList &loaded);

void applyStyleSheet(QApplication &app);

// Claims the one-client rule for this user and brings the window to the front
// when another start asks; false when a running client took over and this
// process should end.
bool claimSingleInstance(QApplication &app);

// Brings the client's window to the front: the modal dialog on show (the
// sign-in dialog, or one over the main window), else the main window.
void raiseWindow();

// Runs the sign-in dialog modally and then the main window; returns the event
// loop's result, or 0 when the dialog was closed or accepted without a token.
int runSession(QApplication &app);

// Shows "证书不受信任" for every question of the TrustGate, pins what the user
// trusts and answers the gate; refuses what is still open when the program
// quits. Called once at start-up (and by tests that need the dialog).
void installTrustDialog();

} // namespace startup
