#pragma once

#include <QString>

class QWidget;

// Pictures of the windows a test checks, for a person to look at: with
// FOLVANE_SHOTS naming a folder, the test programs draw their windows with the
// client's own style sheet and saveShot() writes `name`.png there. Without it
// nothing is written and the style sheet is left off, as in every other run.
bool shotsWanted();
void saveShot(QWidget *widget, const QString &name);

// The darkest grey a widget draws (0 black, 255 white): how dark its text is.
int darkestGrey(QWidget *widget);
