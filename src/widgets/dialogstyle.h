#pragma once

#include <QString>
#include <Qt>

class MessageLabel;
class QBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

// The look shared by the dialogs: their title colour and their blue buttons.
namespace DialogStyle {

// The title-bar colour of every dialog except the login dialog.
inline constexpr const char *titleColor = "#00a4ff";

// ".QPushButton {border-radius:4px;border:0px;background:#0696f5;color:#fff;
// font-weight:bold;font-size:10pt;}" with a darker hover; the login dialog uses
// bigger variants of the same rule.
QString buttonStyle(int fontPointSize = 10, int borderRadius = 4);
// Appended to buttonStyle() for a button that is sometimes disabled.
inline constexpr const char *disabledLook = ".QPushButton:disabled {background:#999;}";

// Creates a dialog button with that style.
QPushButton *makeButton(const QString &text, QWidget *parent, int fontPointSize = 10);

// The grey caption in front of a dialog's field ("color:#666;"), `width`
// pixels wide. Captions are the dialog's own text, so they are plain text.
QLabel *makeCaption(const QString &text, int width, Qt::Alignment alignment, QWidget *parent);

// A form row's read-only value on a light grey ground (height 22, indent 4);
// shown as plain text, since it usually comes from the server.
QLabel *valueLabel(const QString &text, QWidget *parent);

// Adds the dialogs' last row to `layout`: the red message (right-aligned,
// taking the free width) and then `buttons`, 12 apart. Returns the message.
MessageLabel *addMessageRow(QBoxLayout *layout, QWidget *parent,
                            const QList<QPushButton *> &buttons);

} // namespace DialogStyle
