#include "collabhelpers.h"

#include "browse/companydocument.h"
#include "browserhelpers.h"
#include "collab/dialogtable.h"
#include "collab/selectuser.h"
#include "core/gcore.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"

#include <QPushButton>
#include <QTableWidget>
#include <QUrlQuery>

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

QString CollabSession::startSession()
{
    server = std::make_unique<ServerProcess>();
    if (!server->start())
        return server->error();
    recorderPort = recorder.start([](const QByteArray &) {
        return ScriptedHttpServer::Reply{
            ScriptedHttpServer::okReply(R"({"code":3,"msg":"表单已记录"})")};
    });
    pointClientAt(server->port());
    token = server->login("zhangsan", "123456");
    if (token.isEmpty())
        return QStringLiteral("zhangsan cannot sign in");
    GCore::instance()->setToken(token);
    GCore::instance()->setUserInfo(
        {{"username", "zhangsan"}, {"nickname", "张三"}, {"maxUploadNum", 1}});
    return QString();
}

QVariantMap CollabSession::call(const QString &path, const FormParams &form, const QString &as)
{
    FormParams params = form;
    params.insert("token", as.isEmpty() ? token : as);
    return HttpCurl::instance()->postJson(server->url() + path, params).toMap();
}

QVariantMap CollabSession::entryOf(const QString &parentId, const QString &name, const QString &as)
{
    return findEntry(call("/api/file/list-file.jf", {{"parentId", parentId}}, as), name);
}

std::unique_ptr<CompanyDocument> CollabSession::browserAt(const QString &folderId)
{
    auto b = std::make_unique<CompanyDocument>();
    b->resize(1000, 600);
    b->show();
    // The start-up asks twice (the empty id first, then "0").
    if (!QTest::qWaitFor([&] {
            return b->currentFolderId == QLatin1String("0") && rowOf(*b, "研发中心") >= 0 &&
                   b->treeModel->rowCount() > 0;
        }))
        qWarning("the library did not list its top folder");
    b->requestFileList(folderId, true);
    return b;
}
