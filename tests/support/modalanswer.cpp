#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

void answerNextModal(std::function<void(QWidget *)> action, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    auto *clock = new QElapsedTimer;
    clock->start();
    QWidget *before = QApplication::activeModalWidget();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool expired = clock->elapsed() > timeoutMs;
        if ((modal && modal != before) || expired) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (modal && modal != before)
                action(modal);
            else
                qWarning("answerNextModal: no modal window appeared");
        }
    });
    timer->start(10);
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
            qWarning("clickInNextModal: no button \"%s\"", qPrintable(buttonText));
            modal->close();
        },
        timeoutMs);
}

QString labelTexts(QWidget *window)
{
    QStringList texts;
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts << label->text();
    return texts.join(QLatin1Char('\n'));
}
