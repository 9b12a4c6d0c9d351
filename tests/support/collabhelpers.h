#pragma once

#include "modalanswer.h"
#include "shell/framelessdialog.h"

#include <QMap>
#include <QScopeGuard>
#include <QStringList>
#include <QtTest>

#include <functional>

class QTableWidget;
class ScriptedHttpServer;

// Driving the collaboration dialogs in tests.

// Points the client's settings at a server on this loopback port.
void useServer(quint16 port);

// The last form the scripted server received on `path`, without the token;
// empty when none came.
QMap<QString, QString> lastForm(const ScriptedHttpServer &server, const QString &path);

// The texts of column 0, top to bottom (only the rows shown, if asked).
QStringList texts(const QTableWidget *table, bool visibleOnly = false);

// Clicks the row of column 0 that shows `text`; fails the test when none does.
void clickRow(QTableWidget *table, const QString &text);

// Answers the next user picker: clicks the named candidates of the
// organisation, then "确定" (or "取消"). The picker is closed whatever happens.
void answerPicker(const QStringList &choose, bool ok = true);

// Runs `flow` on the next modal window, which must be a `Dialog`; the window
// is closed afterwards unless the flow closed it.
template <typename Dialog> void answerDialog(std::function<void(Dialog *)> flow)
{
    answerNextModal([flow](QWidget *modal) {
        auto *dialog = qobject_cast<Dialog *>(modal);
        QVERIFY2(dialog, modal->metaObject()->className());
        auto closer = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->FramelessDialog::reject();
        });
        flow(dialog);
    });
}
