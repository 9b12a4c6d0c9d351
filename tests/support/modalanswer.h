#pragma once

#include <QString>

#include <functional>

class QWidget;

// Answers the next modal window that opens: polls the event loop for
// QApplication::activeModalWidget() and hands it to `action` once it appears
// (within `timeoutMs`). Call before the code that opens the box.
void answerNextModal(std::function<void(QWidget *modal)> action, int timeoutMs = 10000);

// Answers the next modal box by clicking its button with this text (for a
// QMessageBox, or any window with QAbstractButtons).
void clickInNextModal(const QString &buttonText, int timeoutMs = 10000);

// The text of every QLabel of a window, joined with newlines (to check the
// message a box shows).
QString labelTexts(QWidget *window);
