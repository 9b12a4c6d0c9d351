// The folder tree: linking the flat folder list, child order, dropped entries,
// incremental updates of the company tree, restoring the current folder, the
// list request and the browsers' indicators, and the view's selection band.
#include "browse/companydocument.h"
#include "browse/netdisk.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "models/treeitem.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"
#include "testmain.h"
#include "widgets/treeview.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <algorithm>
#include <memory>

namespace {

QVariantMap folder(const QString &id, const QString &parent, const QString &name,
                   qint64 modified = 0)
{
    return QVariantMap{
        {"fileId", id}, {"parentId", parent}, {"fileName", name}, {"lastModifyTime", modified}};
}

QVariantMap okReply(const QVariantList &data, const QVariantList &removes = {})
{
    QVariantMap reply{{"code", 0}, {"msg", ""}, {"data", data}};
    if (!removes.isEmpty())
        reply.insert("removes", removes);
    return reply;
}

QStringList childIds(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList ids;
    for (int row = 0; row < model.rowCount(parent); ++row)
        ids << model.index(row, 0, parent).data(Qt::UserRole + 1).toString();
    return ids;
}

QModelIndex findId(const QAbstractItemModel &model, const QString &id,
                   const QModelIndex &parent = QModelIndex())
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data(Qt::UserRole + 1).toString() == id)
            return index;
        const QModelIndex below = findId(model, id, index);
        if (below.isValid())
            return below;
    }
    return QModelIndex();
}

int countNodes(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    int n = 0;
    for (int row = 0; row < model.rowCount(parent); ++row)
        n += 1 + countNodes(model, model.index(row, 0, parent));
    return n;
}

// A model with its view and a checker that watches every change.
struct Fixture
{
    explicit Fixture(int area)
        : view(new TreeView(nullptr, false)), model(new TreeViewModel(view.get(), area)),
          tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
        view->setModel(model.get());
        view->resize(300, 400);
    }
    std::unique_ptr<TreeView> view;
    std::unique_ptr<TreeViewModel> model;
    QAbstractItemModelTester tester;
};

} // namespace

class TestTreeViewModel : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        GCore::instance()->setCompanyRootCache({});
        GCore::instance()->setNetDiskRootCache({});
    }

    void childOrderSpecialIdsNamesAndAge()
    {
        GCore::instance()->setNetDiskRootCache(okReply({
            folder("-8", "-1", "我的分享"),
            folder("101", "0", "b"),
            folder("102", "0", "a", 1),
            folder("-9", "-1", "与我共享"),
            folder("104", "0", "a", 9),
            folder("12", "0", "zz"),
            folder("103", "0", "a", 5),
            folder("7", "0", "zzz"),
            folder("105", "0", "B"),
        }));
        Fixture f(1);
        f.model->refresh(true);
        QCOMPARE(childIds(*f.model), QStringList({"-9", "-8", "0"}));
        const QModelIndex top = f.model->index(2, 0);
        QCOMPARE(top.data().toString(), QStringLiteral("我的网盘"));
        // Short ids first by number; then names by code unit ("B" < "a"), equal names newest first.
        QCOMPARE(childIds(*f.model, top),
                 QStringList({"7", "12", "105", "104", "103", "102", "101"}));
        // The area's own top folder is current, not the share folder that sorts first.
        QCOMPARE(f.view->currentIndex(), top);
        QVERIFY(f.view->isExpanded(top));
    }

    void insertionMatchesResortingAfterEveryAppend()
    {
        // The bulk build and appendChild must give exactly the order that
        // appending and stably re-sorting after each append gives, ties included.
        QRandomGenerator rng(7);
        for (int round = 0; round < 20; ++round) {
            QVector<QVariantMap> entries;
            for (int i = 0; i < 200; ++i) {
                const int kind = rng.bounded(10);
                const QString id = kind == 0 ? QString::number(int(rng.bounded(20)) - 10)
                                             : QString::number(100 + rng.bounded(100000));
                entries.append(
                    folder(id, "p", QStringLiteral("n%1").arg(rng.bounded(8)), rng.bounded(3)));
                entries.last().insert("seq", i);
            }
            std::vector<std::unique_ptr<TreeItem>> owned;
            QList<TreeItem *> reference;
            TreeItem inserted(QVariantMap{});
            TreeItem bulk(QVariantMap{});
            for (const QVariantMap &e : entries) {
                owned.emplace_back(new TreeItem(e));
                reference.append(owned.back().get());
                std::stable_sort(reference.begin(), reference.end(), TreeItem::lessThan);
                inserted.appendChild(new TreeItem(e));
                bulk.appendUnsorted(new TreeItem(e));
            }
            bulk.sortChildren();
            for (int i = 0; i < reference.size(); ++i) {
                const QVariant seq = reference.at(i)->value("seq");
                QCOMPARE(inserted.child(i)->value("seq"), seq);
                QCOMPARE(bulk.child(i)->value("seq"), seq);
                QCOMPARE(bulk.child(i)->row(), i);
            }
        }
    }

    void treeItemBasics()
    {
        TreeItem root(QVariantMap{});
        QCOMPARE(root.row(), 0);
        QVERIFY(root.child(0) == nullptr);
        QVERIFY(root.child(-1) == nullptr);
        auto *a = new TreeItem(folder("200", "0", "a"));
        root.appendChild(a);
        QCOMPARE(root.child(0), a);
        QCOMPARE(a->parentItem, &root);
        QCOMPARE(a->value("fileName").toString(), QStringLiteral("a"));
        TreeItem stray(folder("300", "0", "x"), &root);
        QCOMPARE(stray.row(), -1);
    }

    void emptyListGivesTheTopNodeOnly()
    {
        Fixture f(0);
        QCOMPARE(f.model->rowCount(), 0);
        QVERIFY(!f.model->index(0, 0).isValid());
        GCore::instance()->setCompanyRootCache(okReply({}));
        f.model->refresh(true);
        QCOMPARE(f.model->rowCount(), 1);
        const QModelIndex top = f.model->index(0, 0);
        QCOMPARE(top.data().toString(), QStringLiteral("公司文档"));
        QCOMPARE(top.data(Qt::UserRole + 1).toString(), QStringLiteral("0"));
        QCOMPARE(f.model->rowCount(top), 0);
        QCOMPARE(top.data(Qt::FontRole).value<QFont>().pointSize(), 10);
        QVERIFY(top.data(Qt::DecorationRole).canConvert<QIcon>());
        QVERIFY(!top.data(Qt::ToolTipRole).isValid());
        QVERIFY(!f.model->index(0, 1).isValid());
        QCOMPARE(f.model->flags(QModelIndex()), Qt::NoItemFlags);
        QVERIFY(!f.model->parent(top).isValid());
    }

    void unknownParentsAndLoopsAreDropped()
    {
        QVariantList list{
            folder("100", "0", "kept"),
            folder("102", "101", "below unknown"),
            folder("101", "999", "unknown parent"),
            folder("103", "104", "loop a"),
            folder("104", "103", "loop b"),
            folder("105", "103", "below loop"),
            folder("106", "106", "own parent"),
            folder("107", "100", "kept child"),
        };
        // A long chain given bottom-up must neither recurse deeply nor be lost.
        for (int i = 0; i < 20000; ++i)
            list.append(folder(QString::number(200000 - i), QString::number(200000 - i - 1),
                               QStringLiteral("deep")));
        list.append(folder(QString::number(200000 - 20000), "0", QStringLiteral("deep")));
        GCore::instance()->setCompanyRootCache(okReply(list));
        TreeView view;
        TreeViewModel model(&view, 0);
        view.setModel(&model);
        model.refresh(true);
        const QModelIndex top = model.index(0, 0);
        QCOMPARE(childIds(model, top), QStringList({"180000", "100"}));
        QCOMPARE(childIds(model, findId(model, "100")), QStringList({"107"}));
        for (const char *gone : {"101", "102", "103", "104", "105", "106"})
            QVERIFY2(!findId(model, gone).isValid(), gone);
        QCOMPARE(countNodes(model), 1 + 2 + 20001);
    }

    void netDiskSameReplyTwiceChangesNothing()
    {
        Fixture f(1);
        NetDisk browser;
        const QVariantMap reply = okReply({folder("100", "0", "a"), folder("101", "100", "b")});
        QSignalSpy resets(f.model.get(), &QAbstractItemModel::modelReset);
        f.model->receiveData(reply);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(GCore::instance()->netDiskRootCache(), reply);
        const QModelIndex a = findId(*f.model, "100");
        f.view->setCurrentIndex(a);
        f.view->expand(a);
        f.model->receiveData(reply);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(f.view->currentIndex(), a);
        QVERIFY(f.view->isExpanded(a));
        QVERIFY(!browser.treeErrorLabel->isVisibleTo(&browser));
    }

    void companyEmptyChangesKeepUpdateTime()
    {
        QVariantMap cache = okReply({folder("100", "0", "a"), folder("101", "0", "b")});
        cache.insert("updateTime", 12345);
        GCore::instance()->setCompanyRootCache(cache);
        Fixture f(0);
        f.model->refresh(true);
        QSignalSpy resets(f.model.get(), &QAbstractItemModel::modelReset);
        f.model->receiveData(
            QVariantMap{{"code", "0"}, {"data", QVariantList()}, {"removes", QVariantList()}});
        QCOMPARE(resets.count(), 0);
        QCOMPARE(GCore::instance()->companyRootCache().value("updateTime").toUInt(), 12345u);

        // A real change is merged into the cache and the tree is rebuilt from it.
        f.model->receiveData(okReply({folder("102", "100", "c"), folder("101", "0", "b2")},
                                     {QVariantMap{{"fileId", "100"}}}));
        QCOMPARE(resets.count(), 1);
        QVERIFY(GCore::instance()->companyRootCache().value("updateTime").toUInt() > 12345u);
        QCOMPARE(childIds(*f.model, f.model->index(0, 0)), QStringList({"101"}));
        QCOMPARE(findId(*f.model, "101").data().toString(), QStringLiteral("b2"));
        QVERIFY(!findId(*f.model, "102").isValid()); // its parent was removed
    }

    void failedReplyShowsErrorOnlyOnAnEmptyTree()
    {
        // Each browser's own tree model drives its loading and error labels.
        CompanyDocument browser;
        TreeViewModel *model = browser.treeModel;
        browser.treeLoadingLabel->show();
        model->receiveData({});
        QVERIFY(!browser.treeLoadingLabel->isVisibleTo(&browser));
        QVERIFY(browser.treeErrorLabel->isVisibleTo(&browser));
        model->receiveData(okReply({folder("100", "0", "a")}));
        QVERIFY(!browser.treeErrorLabel->isVisibleTo(&browser));
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        model->receiveData(QVariantMap{{"code", "1"}, {"msg", "没有权限"}});
        model->receiveData(QVariantMap{{"msg", "no code"}});
        QCOMPARE(resets.count(), 0);
        QVERIFY(!browser.treeErrorLabel->isVisibleTo(&browser));
        QVERIFY(findId(*model, "100").isValid());

        NetDisk disk;
        disk.treeModel->receiveData(QVariantMap{{"code", 3}});
        QVERIFY(disk.treeErrorLabel->isVisibleTo(&disk));
        QCOMPARE(disk.treeModel->rowCount(), 0);
        // Another tree of the same area (a folder picker's) leaves the browser alone.
        Fixture picker(1);
        picker.model->receiveData(okReply({folder("100", "0", "a")}));
        QVERIFY(disk.treeErrorLabel->isVisibleTo(&disk));
    }

    void currentFolderAndExpansionRestoredAfterRebuild()
    {
        Fixture f(1);
        f.model->receiveData(okReply(
            {folder("100", "0", "a"), folder("101", "100", "b"), folder("102", "101", "c")}));
        QModelIndex b = findId(*f.model, "101");
        f.view->setCurrentIndex(b);
        f.view->expand(b);
        f.model->receiveData(okReply({folder("100", "0", "a"), folder("101", "100", "b"),
                                      folder("102", "101", "c"), folder("103", "0", "new")}));
        b = findId(*f.model, "101");
        QCOMPARE(f.view->currentIndex(), b);
        QVERIFY(f.view->isExpanded(b));

        // The current folder is gone: the first top-level row stays current.
        f.model->receiveData(okReply({folder("100", "0", "a")}));
        QCOMPARE(f.view->currentIndex(), f.model->index(0, 0));

        f.model->selectById("100");
        QCOMPARE(f.view->currentIndex(), findId(*f.model, "100"));
        f.model->selectById("100", findId(*f.model, "100")); // not below itself
        QCOMPARE(f.view->currentIndex(), findId(*f.model, "100"));
    }

    void listRequestsCarryTokenAndDate()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &request) {
            ScriptedHttpServer::Reply r;
            r.bytes = ScriptedHttpServer::okReply(
                request.startsWith("POST /api/file/")
                    ? R"({"code":0,"data":[{"fileId":"100","parentId":"0","fileName":"a"}],"removes":[]})"
                    : R"({"code":0,"data":[{"fileId":"200","parentId":"0","fileName":"n"}]})");
            return r;
        });
        QVariantMap settings = GCore::instance()->readSettings();
        settings.insert("host", "127.0.0.1");
        settings.insert("port", QString::number(server.url().section(':', -1).toInt()));
        GCore::instance()->writeSettings(settings);
        GCore::instance()->setToken("tok");

        CompanyDocument browser;
        browser.treeModel->refresh(false);
        QVERIFY(browser.treeLoadingLabel->isVisibleTo(&browser));
        QTRY_COMPARE(browser.treeModel->rowCount(), 1);
        // The browser lists its own folders as well; wait until all have arrived.
        QTRY_VERIFY(!browser.treeLoadingLabel->isVisibleTo(&browser));
        QVERIFY(findId(*browser.treeModel, "100").isValid());
        QByteArray firstTreeRequest;
        for (const QByteArray &request : server.requests()) {
            if (request.startsWith("POST /api/file/list-dir.jf")) {
                firstTreeRequest = request;
                break;
            }
        }
        const QByteArray expectedDate = HttpCurl::formBody(
            {{"date", QDateTime::fromSecsSinceEpoch(0).toString("yyyy-MM-dd HH:mm:ss")}});
        const QByteArray body = ScriptedHttpServer::bodyOf(firstTreeRequest);
        QVERIFY2(body.contains(expectedDate), body.constData());
        QVERIFY(body.contains("token=tok"));

        Fixture disk(1);
        disk.model->refresh(false);
        QTRY_VERIFY(findId(*disk.model, "200").isValid());
        QByteArray diskRequest;
        for (const QByteArray &request : server.requests()) {
            if (request.startsWith("POST /api/netdisk/"))
                diskRequest = request;
        }
        QVERIFY(diskRequest.startsWith("POST /api/netdisk/list-dir.jf"));
        QVERIFY(!ScriptedHttpServer::bodyOf(diskRequest).contains("date="));
    }

    void viewPaintsTheSelectionBand()
    {
        Fixture f(1);
        f.model->receiveData(okReply({folder("100", "0", "a")}));
        f.view->show();
        const QModelIndex a = findId(*f.model, "100");
        f.view->selectionModel()->select(a, QItemSelectionModel::ClearAndSelect);
        const QRect rect = f.view->visualRect(a);
        const QImage image = f.view->viewport()->grab().toImage();
        QCOMPARE(image.pixelColor(f.view->viewport()->width() - 3, rect.center().y()),
                 QColor("#d5eaff"));
        const QRect other = f.view->visualRect(f.model->index(0, 0));
        QVERIFY(image.pixelColor(f.view->viewport()->width() - 3, other.center().y()) !=
                QColor("#d5eaff"));
    }
};

FOLVANE_TEST_MAIN(TestTreeViewModel)
#include "tst_treeviewmodel.moc"
