#pragma once

#include <QMessageBox>

// A message box whose text is shown as it is: a QMessageBox guesses rich text
// by itself, and names and messages from the server are data. Runs modally
// and returns the button that was pressed.
QMessageBox::StandardButton plainMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &title, const QString &text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
