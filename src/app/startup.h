#pragma once

class QApplication;

// The start-up of the client after the application object exists: the two
// translations from the working directory, the style sheet, the process-wide
// context, then the sign-in dialog and, only after an accepted sign-in that
// left a token, the main window until it closes.
namespace startup {

void installTranslations(QApplication &app);
void applyStyleSheet(QApplication &app);

// Runs the sign-in dialog modally and then the main window; returns the event
// loop's result, or 0 when the dialog was closed or accepted without a token.
int runSession(QApplication &app);

// Shows "证书不受信任" for every question of the TrustGate, pins what the user
// trusts and answers the gate; refuses what is still open when the program
// quits. Called once at start-up (and by tests that need the dialog).
void installTrustDialog();

} // namespace startup
