#pragma once

#include "modalanswer.h"

#include <QPoint>
#include <QString>
#include <QStringList>

class QWidget;

// Context menus in tests. A menu run with exec() is a popup, not a modal
// window: these helpers poll for QApplication::activePopupWidget().

// Answers the next popup menu: records its entries ("text", or
// "submenu>text" for the entries of a submenu) into `entries`, then chooses
// the entry at `choose` (same notation) with the keyboard, or closes the menu
// when `choose` is empty or missing.
void answerNextMenu(QStringList *entries, const QString &choose = QString(),
                    int timeoutMs = kAnswerTimeoutMs);

// Presses and releases the right mouse button at `pos` of `widget` through the
// window system's path, so QGuiApplication::mouseButtons() sees the button
// while the press is handled.
void rightClick(QWidget *widget, const QPoint &pos);
