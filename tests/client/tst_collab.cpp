// Choosing colleagues, sharing, publishing and permissions against
// folvane-server with the demo data: the group tree, the picker, the form each
// dialog sends (recorded by a scripted server), their refusals, what the
// server then grants, and the library entries that open the dialogs.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/topbanner.h"
#include "browserhelpers.h"
#include "collab/dauthority.h"
#include "collab/dialogtable.h"
#include "collab/dpublish.h"
#include "collab/recipientsrow.h"
#include "collab/rightsgrid.h"
#include "collab/selectuser.h"
#include "collab/sharefiles.h"
#include "collabhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "models/userviewmodel.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "widgets/messagelabel.h"
#include "widgets/treeview.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

using Form = QMap<QString, QString>;

Form with(Form form, const Form &more)
{
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        form.insert(it.key(), it.value());
    return form;
}

QVariantMap group(const QString &id, const QString &name, const QString &parentId)
{
    return {{"id", id}, {"name", name}, {"parentId", parentId}};
}

// "name[child,child],name" over the whole tree.
QString dump(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList parts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const QString below = dump(model, index);
        parts << index.data().toString() + (below.isEmpty() ? QString() : "[" + below + "]");
    }
    return parts.join(',');
}

} // namespace

class TestCollab : public QObject, public CollabSession
{
    Q_OBJECT

    QMap<QString, QString> userIds, groupIds;

    void select(CompanyDocument &b, const QStringList &names)
    {
        b.table->clearSelection();
        for (const QString &name : names) {
            QTRY_VERIFY(rowOf(b, name) >= 0);
            b.table->selectionModel()->select(b.table->model()->index(rowOf(b, name), 0),
                                              QItemSelectionModel::Select |
                                                  QItemSelectionModel::Rows);
        }
    }

private slots:
    void initTestCase()
    {
        const QString failed = startSession();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        const QVariantList users =
            call("/api/user/user-list.jf",
                 {{"groupId", UserViewModel::organisation()["id"].toString()}})
                .value("data")
                .toList();
        for (const QVariant &u : users)
            userIds.insert(u.toMap().value("realname").toString(),
                           u.toMap().value("id").toString());
        for (const QVariant &g : call("/api/user/list-all-group.jf", {}).value("data").toList())
            groupIds.insert(g.toMap().value("name").toString(), g.toMap().value("id").toString());
        QVERIFY(userIds.contains("王五") && groupIds.contains("市场部"));
    }

    void cleanup() { pointClientAt(server->port()); }

    void groupTreeFromAnyOrder()
    {
        TreeView view(nullptr, true);
        auto *model = new UserViewModel(&view);
        view.setModel(model);
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy built(model, &UserViewModel::refreshFinished);
        // Children before parents, a loop, a self-loop, an orphan with a child.
        const QVariantMap reply{
            {"code", 0},
            {"data",
             QVariantList{group("3", "后端", "2"), group("2", "研发", "1"),
                          group("1", "总部", "-1"), group("5", "环A", "6"), group("6", "环B", "5"),
                          group("7", "孤儿", "404"), group("8", "孤儿之子", "7"),
                          group("9", "自环", "9"), group("4", "前端", "2")}}};
        model->receiveData(reply);
        QCOMPARE(dump(*model), QStringLiteral("总部[研发[后端,前端]],组织架构"));
        QCOMPARE(built.count(), 1);
        QCOMPARE(built.first().first().toModelIndex(), model->index(0, 0));
        QCOMPARE(view.currentIndex(), model->index(0, 0));
        QVERIFY(view.isExpanded(model->index(1, 0)));
        QVERIFY(!view.isExpanded(model->index(0, 0, model->index(0, 0))));
        QCOMPARE(model->index(1, 0).data(Qt::UserRole + 1).toString(),
                 QStringLiteral("9d27ffe38ca78490"));

        model->receiveData(reply); // the same reply again
        model->receiveData({{"code", 2}, {"data", QVariantList{}}});
        QCOMPARE(built.count(), 1);
        model->receiveData({{"code", "0"}, {"data", QVariantList{}}});
        QCOMPARE(dump(*model), QStringLiteral("组织架构"));
        QCOMPARE(built.count(), 2);
    }

    void pickerChoosesFromTheOrganisation()
    {
        QStringList names, ids;
        SelectUser picker(names, ids, nullptr, 0);
        picker.show();
        // The organisation is clicked by itself: child groups first, then everybody.
        QTRY_VERIFY(texts(picker.candidateTable).contains("张三"));
        QCOMPARE(texts(picker.candidateTable).mid(0, 3),
                 QStringList({"研发中心", "市场部", "行政部"}));
        QCOMPARE(picker.candidateTable->rowCount(), 3 + userIds.size());

        clickRow(picker.candidateTable, "市场部");
        clickRow(picker.candidateTable, "张三");
        clickRow(picker.candidateTable, "李四");
        clickRow(picker.candidateTable, "李四"); // taken back
        QCOMPARE(texts(picker.chosenTable), QStringList({"张三", "市场部"}));
        clickRow(picker.candidateTable, "赵六");
        clickRow(picker.chosenTable, "赵六");

        picker.filterEdit->setText(" 张 ");
        QCOMPARE(texts(picker.candidateTable, true), QStringList({"张三"}));
        // The account name finds a colleague as well as the nickname.
        picker.filterEdit->clear();
        QTest::keyClicks(picker.filterEdit, "Wang");
        QCOMPARE(texts(picker.candidateTable, true), QStringList({"王五"}));

        // Two quick clicks: only the group clicked last is listed.
        const QModelIndex rd = picker.model->index(0, 0, picker.model->index(0, 0));
        QCOMPARE(rd.data().toString(), QStringLiteral("研发中心"));
        picker.treeClicked(picker.model->index(0, 0, rd)); // 前端组: 张三
        picker.treeClicked(picker.model->index(1, 0, picker.model->index(0, 0)));
        QCOMPARE(picker.filterEdit->text(), QString());
        QTRY_COMPARE(texts(picker.candidateTable), QStringList({"王五"}));
        QTest::qWait(300);
        QCOMPARE(texts(picker.candidateTable), QStringList({"王五"}));

        picker.accept();
        QCOMPARE(names, QStringList({"张三", "市场部"}));
        QCOMPARE(ids, QStringList({"U" + userIds["张三"], "G" + groupIds["市场部"]}));

        QStringList oneName, oneId;
        SelectUser single(oneName, oneId, nullptr, 1);
        single.show();
        QTRY_VERIFY(texts(single.candidateTable).contains("张三"));
        QVERIFY(!texts(single.candidateTable).contains("研发中心"));
        clickRow(single.candidateTable, "张三");
        clickRow(single.candidateTable, "李四");
        QCOMPARE(texts(single.chosenTable), QStringList({"李四"}));
        single.accept();
        QCOMPARE(oneId, QStringList({userIds["李四"]}));
    }

    void shareFromTheMenu()
    {
        const QString rd = entryOf("0", "研发中心").value("fileId").toString();
        const QString design = entryOf(rd, "设计文档").value("fileId").toString();
        auto b = browserAt(design);
        select(*b, {"接口说明.md", "架构图.png"});
        const QStringList fileIds{b->selectedIds()};

        bool flowRan = false;
        answerDialog<ShareFiles>([&](ShareFiles *d) {
            QCOMPARE(texts(d->fileTable), QStringList({"接口说明.md", "架构图.png"}));
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请选择接收人"));

            answerPicker({"王五"});
            d->recipients->chooseButton->click();
            answerPicker({"李四"}, false);
            d->recipients->chooseButton->click();
            QCOMPARE(d->recipients->field->text(), QStringLiteral("王五"));

            // A server that never answers: the window keeps working while it
            // waits, cannot be closed, and is usable again afterwards.
            std::atomic<bool> release{false};
            ScriptedHttpServer silent;
            const quint16 silentPort = silent.start([&](const QByteArray &) {
                QElapsedTimer clock;
                clock.start();
                while (!release && clock.elapsed() < 10000)
                    QThread::msleep(10);
                return ScriptedHttpServer::Reply{};
            });
            pointClientAt(silentPort);
            bool sawBusy = false;
            QTimer::singleShot(100, d, [&] {
                d->reject();
                sawBusy = d->isVisible() && d->isBusy() && !d->saveButton->isEnabled();
                release = true;
            });
            d->saveButton->click();
            QVERIFY(sawBusy);
            QVERIFY(d->saveButton->isEnabled());
            QCOMPARE(d->errorLabel->text(), QStringLiteral("无法分享"));

            pointClientAt(recorderPort);
            d->memoEdit->setPlainText("   ");
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("表单已记录"));
            QCOMPARE(lastForm(recorder, "/api/file/share.jf"),
                     Form({{"fileIds", fileIds.join(',')},
                           {"userList", "U" + userIds["王五"]},
                           {"authList", "A,V,D"},
                           {"memo", ""}}));

            pointClientAt(server->port());
            d->memoEdit->setPlainText("请查阅");
            d->saveButton->click();
            QVERIFY(!d->isVisible());
            QCOMPARE(d->result(), int(QDialog::Accepted));
            flowRan = true;
        });
        QVERIFY(menuAt(*b, rowOf(*b, "接口说明.md"), "分享").contains("分享"));
        QVERIFY(flowRan);

        const QString wangwu = server->login("wangwu", "123456");
        QVERIFY(!entryOf("-9", "接口说明.md", wangwu).isEmpty());
        QVERIFY(!entryOf("-9", "架构图.png", wangwu).isEmpty());
    }

    void publishFromTheToolbar()
    {
        const QString rd = entryOf("0", "研发中心").value("fileId").toString();
        auto b = browserAt(rd);
        select(*b, {"测试报告.csv"});
        const QString fileId = b->selectedIds().value(0);

        bool flowRan = false;
        answerDialog<DPublish>([&](DPublish *d) {
            QCOMPARE(texts(d->fileTable), QStringList({"测试报告.csv"}));
            QVERIFY(!d->dayCountEdit->isVisible() && !d->endDateEdit->isVisible());
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请选择接收人"));
            answerPicker({"王五"});
            d->recipients->chooseButton->click();

            pointClientAt(recorderPort);
            const auto sent = [&] {
                const int before = recorder.requests().size();
                d->saveButton->click();
                return recorder.requests().size() > before
                           ? lastForm(recorder, "/api/file/publish.jf")
                           : Form();
            };
            const Form base{{"fileIds", fileId}, {"userList", "U" + userIds["王五"]}};
            QCOMPARE(sent(), with(base, {{"authList", "A"}, {"dayCountType", "1"}}));
            QCOMPARE(d->errorLabel->text(), QStringLiteral("表单已记录"));
            d->periodBox->setCurrentIndex(1);
            QCOMPARE(sent().value("dayCountType"), QStringLiteral("2"));

            d->rights->box("L")->click();
            QCOMPARE(sent().value("authList"), QStringLiteral("A,C,M,V,P,D,E,R,L"));
            d->rights->box("D")->click();
            QVERIFY(d->rights->box("L")->isChecked());
            d->rights->box("A")->click();
            QCOMPARE(d->rights->values(), QStringList());
            QCOMPARE(sent(), Form());
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请授予至少一个权限"));
            d->rights->box("A")->click();
            d->rights->box("V")->click();

            d->periodBox->setCurrentIndex(2);
            QVERIFY(d->dayCountEdit->isVisible() && !d->endDateEdit->isVisible());
            for (const char *bad : {"0", "", "abc"}) {
                d->periodBox->setFocus();
                d->dayCountEdit->setText(bad);
                QCOMPARE(sent(), Form());
                QCOMPARE(d->errorLabel->text(), QStringLiteral("自定义天数要大于0"));
                QCOMPARE(d->focusWidget(), d->dayCountEdit);
            }
            d->dayCountEdit->setText(" 15 ");
            QCOMPARE(sent(),
                     with(base, {{"authList", "A,V"}, {"dayCountType", "3"}, {"dayCount", "15"}}));

            d->periodBox->setCurrentIndex(3);
            QVERIFY(!d->dayCountEdit->isVisible() && d->endDateEdit->isVisible());
            const QDate today = QDate::currentDate();
            d->endDateEdit->setDate(today);
            QCOMPARE(sent(), Form());
            QCOMPARE(d->errorLabel->text(), QStringLiteral("结束时间要大于开始时间"));
            d->startDateEdit->setDate(today.addDays(-10));
            d->endDateEdit->setDate(today.addDays(-1));
            QCOMPARE(sent(), Form());
            QCOMPARE(d->errorLabel->text(), QStringLiteral("结束时间不能早于今天"));
            d->startDateEdit->setDate(today);
            d->endDateEdit->setDate(today.addDays(1));
            const Form dates = sent();
            QCOMPARE(dates.value("dayCountType"), QStringLiteral("4"));
            QCOMPARE(dates.value("startTime"), today.toString("yyyy-MM-dd"));
            QCOMPARE(dates.value("endTime"), today.addDays(1).toString("yyyy-MM-dd"));
            QVERIFY(!dates.contains("dayCount"));

            pointClientAt(server->port());
            d->saveButton->click();
            QCOMPARE(d->result(), int(QDialog::Accepted));
            flowRan = true;
        });
        b->topBanner->buttons().at(4)->click();
        QVERIFY(flowRan);

        const QString wangwu = server->login("wangwu", "123456");
        const QVariantList published =
            call("/api/file/publish-to-me-list.jf", {}, wangwu).value("data").toList();
        QVERIFY(std::any_of(published.cbegin(), published.cend(), [](const QVariant &p) {
            return p.toMap().value("authList").toString() == "A,V" &&
                   p.toMap().value("files").toList().value(0).toMap().value("fileName") ==
                       "测试报告.csv";
        }));

        // The server's refusal text: no full control over the handbook.
        DPublish refused(
            {entryOf(entryOf("0", "公司制度").value("fileId").toString(), "员工手册.docx")},
            nullptr);
        refused.show();
        answerPicker({"王五"});
        refused.recipients->chooseButton->click();
        refused.saveButton->click();
        QCOMPARE(refused.errorLabel->text(), QStringLiteral("没有权限操作“员工手册.docx”"));
        QVERIFY(refused.isVisible());
    }

    void permissionsFromTheMenu()
    {
        const QString rd = entryOf("0", "研发中心").value("fileId").toString();
        auto b = browserAt(rd);
        select(*b, {"设计文档", "测试报告.csv"});
        const QStringList fileIds = b->selectedIds();

        bool flowRan = false;
        answerDialog<DAuthority>([&](DAuthority *d) {
            QCOMPARE(texts(d->fileTable), QStringList({"设计文档", "测试报告.csv"}));
            // One caption for the users, one for the range the rights apply
            // to; each row as tall as it needs, the rights above the buttons.
            QStringList captions;
            for (const QLabel *label : d->findChildren<QLabel *>())
                captions << label->text();
            QCOMPARE(captions.count("用户范围:"), 1);
            QCOMPARE(captions.count("适用范围:"), 1);
            const int buttonsTop = d->saveButton->mapTo(d, QPoint()).y();
            for (const char *letter : {"A", "V", "E", "L"}) {
                QCheckBox *box = d->rights->box(letter);
                QVERIFY2(box->height() >= box->sizeHint().height(), letter);
                QVERIFY2(box->mapTo(d, QPoint(0, box->height())).y() <= buttonsTop, letter);
            }
            QVERIFY(d->scopeBox->height() >= d->scopeBox->sizeHint().height());
            saveShot(d, "permissions");
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请选择用户范围"));
            answerPicker({"市场部"});
            d->recipients->chooseButton->click();
            QCOMPARE(d->recipients->field->text(), QStringLiteral("市场部"));

            pointClientAt(recorderPort);
            for (int scope = 0; scope < 7; ++scope) {
                d->scopeBox->setCurrentIndex(scope);
                d->saveButton->click();
                QCOMPARE(lastForm(recorder, "/api/file/auth.jf"),
                         Form({{"fileIds", fileIds.join(',')},
                               {"userList", "G" + groupIds["市场部"]},
                               {"authList", "A"},
                               {"appRange", QString::number(scope + 1)}}));
            }
            d->rights->box("L")->click();
            d->rights->box("A")->click();
            const int before = recorder.requests().size();
            d->saveButton->click();
            QCOMPARE(recorder.requests().size(), before);
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请授予至少一个权限"));

            pointClientAt(server->port());
            for (const char *letter : {"A", "V", "D"})
                d->rights->box(letter)->click();
            d->scopeBox->setCurrentIndex(0);
            d->saveButton->click();
            QCOMPARE(d->result(), int(QDialog::Accepted));
            flowRan = true;
        });
        menuAt(*b, rowOf(*b, "设计文档"), "管理操作>添加权限");
        QVERIFY(flowRan);

        // 王五 of 市场部 now sees both items with the granted letters.
        const QString wangwu = server->login("wangwu", "123456");
        QCOMPARE(entryOf(rd, "设计文档", wangwu).value("authList").toString(),
                 QStringLiteral("A,V,D"));
        QCOMPARE(entryOf(rd, "测试报告.csv", wangwu).value("authList").toString(),
                 QStringLiteral("A,V,D"));

        DAuthority refused({entryOf("0", "公司制度")}, nullptr);
        refused.show();
        answerPicker({"王五"});
        refused.recipients->chooseButton->click();
        refused.saveButton->click();
        QCOMPARE(refused.errorLabel->text(), QStringLiteral("没有权限操作“公司制度”"));
    }
};

FOLVANE_TEST_MAIN(TestCollab)
#include "tst_collab.moc"
