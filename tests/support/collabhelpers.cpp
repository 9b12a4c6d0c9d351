#include "collabhelpers.h"

#include "collab/dialogtable.h"
#include "collab/selectuser.h"
#include "core/gcore.h"
#include "scriptedhttpserver.h"

#include <QPushButton>
#include <QTableWidget>
#include <QUrlQuery>

void useServer(quint16 port)
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("host", "127.0.0.1");
    settings.insert("port", QString::number(port));
    GCore::instance()->writeSettings(settings);
}

QMap<QString, QString> lastForm(const ScriptedHttpServer &server, const QString &path)
{
    QMap<QString, QString> form;
    const QList<QByteArray> requests = server.requests();
    for (auto it = requests.crbegin(); it != requests.crend(); ++it) {
        if (!it->startsWith("POST " + path.toUtf8()))
            continue;
        const QUrlQuery query(QString::fromUtf8(ScriptedHttpServer::bodyOf(*it)));
        for (const auto &pair : query.queryItems(QUrl::FullyDecoded))
            form.insert(pair.first, pair.second);
        form.remove("token");
        break;
    }
    return form;
}

QStringList texts(const QTableWidget *table, bool visibleOnly)
{
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!visibleOnly || !table->isRowHidden(row))
            out << table->item(row, 0)->text();
    }
    return out;
}

void clickRow(QTableWidget *table, const QString &text)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->text() == text) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                              table->visualItemRect(table->item(row, 0)).center());
            return;
        }
    }
    QFAIL(qPrintable("no row " + text));
}

void answerPicker(const QStringList &choose, bool ok)
{
    answerNextModal([=](QWidget *modal) {
        auto *picker = qobject_cast<SelectUser *>(modal);
        QVERIFY(picker);
        auto closer = qScopeGuard([picker] {
            if (picker->isVisible())
                picker->reject();
        });
        for (const QString &name : choose) {
            QTRY_VERIFY(texts(picker->candidateTable).contains(name));
            clickRow(picker->candidateTable, name);
        }
        (ok ? picker->okButton : picker->cancelButton)->click();
    });
}
