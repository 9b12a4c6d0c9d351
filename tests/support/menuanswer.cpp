#include "menuanswer.h"

#include "modalanswer.h"

#include <QAction>
#include <QApplication>
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
    const QString name = path.takeFirst();
    QAction *action = actionNamed(menu, name);
    if (!action) {
        QStringList entries;
        collect(menu, QString(), &entries);
        failTest(QStringLiteral("the menu has no entry \"%1\" (it has: %2)")
                     .arg(name, entries.join(QStringLiteral(", "))));
        // Closing the topmost popup returns from the menu's exec().
        for (QWidget *popup = QApplication::activePopupWidget(); popup;
             popup = QApplication::activePopupWidget())
            popup->close();
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
    const QString what = choose.isEmpty()
                             ? QStringLiteral("the context menu")
                             : QStringLiteral("the context menu (to choose \"%1\")").arg(choose);
    answerWindow(
        what, [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
        [entries, choose](QWidget *window) {
            auto *menu = static_cast<QMenu *>(window);
            if (entries) {
                entries->clear();
                collect(menu, QString(), entries);
            }
            if (choose.isEmpty())
                menu->close();
            else
                chooseStep(menu, choose.split(QLatin1Char('>')));
        },
        timeoutMs);
}

void rightClick(QWidget *widget, const QPoint &pos)
{
    QWidget *top = widget->window();
    QWindow *window = top->windowHandle();
    const QPoint at = widget->mapTo(top, pos);
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, at);
}
