#pragma once

class QString;
class QWidget;

// Hands a local file or folder to the desktop's default program. When the path
// is gone, or the desktop has no program for it, the user is told in a warning
// box over `parent` that names the local path. Returns whether it was opened.
bool openLocalPath(QWidget *parent, const QString &path);
