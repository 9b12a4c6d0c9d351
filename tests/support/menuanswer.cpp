#include "menuanswer.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <QWindow>
#include <QtTest>

namespace {

void collect(QMenu *menu, const QString &prefix, QStringList *entries)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->isSeparator())
            continue;
        if (QMenu *sub = action->menu())
            collect(sub, prefix + action->text() + QLatin1Char('>'), entries);
        else
            entries->append(prefix + action->text());
    }
}

QAction *actionNamed(QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Opens the submenus of `path` one after the other and triggers its last
// entry, each step once the popup of the step before is showing.
void chooseStep(QMenu *menu, QStringList path)
{
    QAction *action = actionNamed(menu, path.takeFirst());
    if (!action) {
        qWarning("answerNextMenu: no such entry");
        menu->close();
        return;
    }
    menu->setActiveAction(action);
    if (path.isEmpty() || !action->menu()) {
        QTest::keyClick(menu, Qt::Key_Return);
        return;
    }
    QMenu *sub = action->menu();
    sub->popup(menu->pos());
    QTimer::singleShot(50, sub, [sub, path] { chooseStep(sub, path); });
}

} // namespace

void answerNextMenu(QStringList *entries, const QString &choose, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        const bool expired = clock->elapsed() > timeoutMs;
        if (!menu && !expired)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (!menu) {
            qWarning("answerNextMenu: no menu appeared");
            return;
        }
        if (entries) {
            entries->clear();
            collect(menu, QString(), entries);
        }
        if (choose.isEmpty())
            menu->close();
        else
            chooseStep(menu, choose.split(QLatin1Char('>')));
    });
    timer->start(10);
}

void rightClick(QWidget *widget, const QPoint &pos)
{
    QWidget *top = widget->window();
    QWindow *window = top->windowHandle();
    const QPoint at = widget->mapTo(top, pos);
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, at);
}
