#pragma once

#include "core/httpcurl.h"
#include "modalanswer.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "widgets/framelessdialog.h"

#include <QMap>
#include <QScopeGuard>
#include <QStringList>
#include <QtTest>

#include <functional>
#include <memory>

class CompanyDocument;
class QTableWidget;

// Driving the collaboration dialogs in tests.

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

// What the collaboration tests share: folvane-server with the demo data, the
// client pointed at it and signed in as zhangsan, and a scripted server that
// records forms and refuses them, so the dialogs stay open. A test class
// derives from it beside QObject and calls startSession() first.
class CollabSession
{
protected:
    // Empty on success, else what went wrong.
    QString startSession();
    // A request to the demo server as zhangsan, or with the token `as`.
    QVariantMap call(const QString &path, const FormParams &form, const QString &as = QString());
    // The library entry `name` in the folder `parentId`, or an empty map.
    QVariantMap entryOf(const QString &parentId, const QString &name, const QString &as = {});
    // A shown library browser that lists `folderId` (after its own start-up).
    std::unique_ptr<CompanyDocument> browserAt(const QString &folderId);

    std::unique_ptr<ServerProcess> server;
    ScriptedHttpServer recorder;
    quint16 recorderPort = 0;
    QString token;
};
