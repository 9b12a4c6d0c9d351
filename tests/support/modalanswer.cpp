#include "modalanswer.h"

#include "widgets/tradiuswidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>

namespace {

// The title a frameless dialog draws in its own title bar (it has no window title).
QString frameTitle(const QWidget *window)
{
    if (const auto *bar = window->findChild<TRadiusWidget *>()) {
        if (const auto *label = bar->findChild<QLabel *>())
            return label->text();
    }
    return QString();
}

bool isCalled(const QWidget *window, const QString &expected)
{
    if (expected.isEmpty())
        return true;
    return window->windowTitle() == expected || frameTitle(window) == expected ||
           window->inherits(expected.toLatin1().constData());
}

void closeWindow(QWidget *window)
{
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace

QString describeWindow(const QWidget *window)
{
    QString title = window->windowTitle();
    if (title.isEmpty())
        title = frameTitle(window);
    QString text =
        QStringLiteral("%1 \"%2\"").arg(QLatin1String(window->metaObject()->className()), title);
    if (const auto *box = qobject_cast<const QMessageBox *>(window))
        text += QStringLiteral(" (%1)").arg(box->text());
    return text;
}

void failTest(const QString &message)
{
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    else
        qWarning("%s", qPrintable(message));
}

void answerWindow(const QString &what, std::function<QWidget *()> find,
                  std::function<void(QWidget *)> action, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    QElapsedTimer clock;
    clock.start();
    // An answer belongs to the test that asked for it: once that test is over
    // it must not take a window of the next one.
    const QByteArray owner = QTest::currentTestFunction();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (QByteArray(QTest::currentTestFunction()) != owner) {
            timer->stop();
            timer->deleteLater();
            qWarning("%s never came: the test %s ended first", qPrintable(what), owner.constData());
            return;
        }
        if (QWidget *window = find()) {
            timer->stop();
            timer->deleteLater();
            action(window);
            return;
        }
        if (clock.elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            failTest(QStringLiteral("%1 never came (waited %2 ms)").arg(what).arg(timeoutMs));
        }
    });
    timer->start(10);
}

void answerNextModal(const QString &expected, std::function<void(QWidget *)> action, int timeoutMs)
{
    // A window that is open already (the one the answer is given from) is not
    // the next one; a guarded pointer, so a later window at the same address is.
    const QPointer<QWidget> before = QApplication::activeModalWidget();
    const QString what = expected.isEmpty() ? QStringLiteral("a modal window")
                                            : QStringLiteral("the window \"%1\"").arg(expected);
    answerWindow(
        what,
        [before, expected]() -> QWidget * {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == before || !isCalled(modal, expected))
                return nullptr;
            return modal;
        },
        std::move(action), timeoutMs);
}

void answerNextModal(std::function<void(QWidget *)> action, int timeoutMs)
{
    answerNextModal(QString(), std::move(action), timeoutMs);
}

void clickInNextModal(const QString &buttonText, int timeoutMs)
{
    answerNextModal(
        [buttonText](QWidget *modal) {
            const QList<QAbstractButton *> buttons = modal->findChildren<QAbstractButton *>();
            for (QAbstractButton *button : buttons) {
                if (button->text().remove(QLatin1Char('&')) == buttonText) {
                    button->click();
                    return;
                }
            }
            failTest(
                QStringLiteral("%1 has no button \"%2\"").arg(describeWindow(modal), buttonText));
            closeWindow(modal);
        },
        timeoutMs);
}

void answerFileDialog(const QStringList &paths, std::function<void()> then)
{
    answerNextModal(QStringLiteral("QFileDialog"), [paths, then](QWidget *modal) {
        auto *dialog = static_cast<QFileDialog *>(modal);
        // The choice is typed into the file name field. selectFile() would
        // leave that field alone whenever it has the keyboard focus, which it
        // gets as soon as the dialog's window is active, and accept() then
        // finds nothing chosen and keeps the dialog open.
        auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        const QFileDialog::FileMode mode = dialog->fileMode();
        if (!nameEdit || paths.isEmpty()) {
            failTest(
                QStringLiteral("%1: no file name field to answer").arg(describeWindow(dialog)));
            dialog->reject();
            return;
        }
        if (mode == QFileDialog::ExistingFile || mode == QFileDialog::ExistingFiles) {
            dialog->setDirectory(QFileInfo(paths.first()).absolutePath());
            QStringList names;
            for (const QString &path : paths)
                names << QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
            nameEdit->setText(names.join(QLatin1Char(' ')));
        } else {
            // A folder dialog with an empty name field chooses the folder it shows.
            dialog->setDirectory(paths.first());
            nameEdit->clear();
        }
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible()) {
            failTest(QStringLiteral("%1 did not take %2")
                         .arg(describeWindow(dialog), paths.join(QStringLiteral(", "))));
            dialog->reject();
            return;
        }
        if (then)
            then();
    });
}

QString labelTexts(QWidget *window)
{
    QStringList texts;
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts << label->text();
    return texts.join(QLatin1Char('\n'));
}

void installModalWatchdog(int limitMs)
{
    struct Watch
    {
        QPointer<QWidget> window;
        QElapsedTimer since;
    };
    auto watch = std::make_shared<Watch>();
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [watch, limitMs] {
        QWidget *open = QApplication::activePopupWidget();
        if (!open)
            open = QApplication::activeModalWidget();
        if (open != watch->window) {
            watch->window = open;
            watch->since.start();
            return;
        }
        if (!open || watch->since.elapsed() < limitMs)
            return;
        failTest(QStringLiteral("%1 stayed open %2 ms and nothing answered it")
                     .arg(describeWindow(open))
                     .arg(limitMs));
        watch->since.start();
        closeWindow(open);
    });
    timer->start(100);
}
