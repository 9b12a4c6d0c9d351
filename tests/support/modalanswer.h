#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// How long an answer waits for its window, and how long any modal window or
// popup menu may stay open unanswered, before the test fails: a few seconds,
// never the whole test time-out.
constexpr int kAnswerTimeoutMs = 5000;

// Answers the next modal window called `expected` (its class name, such as
// "QFileDialog" or "DFolderTree", or its title, such as "上传出错"; empty for
// any window): polls the event loop for QApplication::activeModalWidget() and
// hands the window to `action` once it appears. Call before the code that
// opens it. When it has not come within `timeoutMs` the running test fails
// with a message that names it.
void answerNextModal(const QString &expected, std::function<void(QWidget *modal)> action,
                     int timeoutMs = kAnswerTimeoutMs);
void answerNextModal(std::function<void(QWidget *modal)> action, int timeoutMs = kAnswerTimeoutMs);

// The building block of the answers: polls every 10 ms for the window that
// `find` returns and hands it to `action`; when none has come within
// `timeoutMs` the running test fails saying that `what` never came.
void answerWindow(const QString &what, std::function<QWidget *()> find,
                  std::function<void(QWidget *window)> action, int timeoutMs);

// Answers the next modal box by clicking its button with this text (for a
// QMessageBox, or any window with QAbstractButtons).
void clickInNextModal(const QString &buttonText, int timeoutMs = kAnswerTimeoutMs);

// Answers the next file dialog with `paths` (existing files, or one folder for
// a folder dialog) as a user would choose them, then runs `then` (to answer
// what follows). Fails the test when the dialog does not take the choice.
void answerFileDialog(const QStringList &paths, std::function<void()> then = {});

// The text of every QLabel of a window, joined with newlines (to check the
// message a box shows).
QString labelTexts(QWidget *window);

// A window as a failure message names it: its class and its title.
QString describeWindow(const QWidget *window);

// Fails the running test with `message` (outside a test function it only warns).
void failTest(const QString &message);

// Watches for modal windows and popup menus that stay open unanswered longer
// than `limitMs` (a test that waits for them would hang): fails the running
// test naming the window, and closes it so the test goes on. The test main
// installs it once for the process.
void installModalWatchdog(int limitMs = kAnswerTimeoutMs);
