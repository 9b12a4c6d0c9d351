// New versions, editing under lock and the version list with its comparison
// backends, against folvane-server with the demo data (and the scripted
// server where a transfer must stall or the exact form matters).
#include "app/startup.h"
#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "browserhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/compare/builtincomparer.h"
#include "transfer/compare/compareview.h"
#include "transfer/compare/comparewindow.h"
#include "transfer/compare/libreoffice.h"
#include "transfer/compare/zipreader.h"
#include "transfer/deditfile.h"
#include "transfer/dversioncompare.h"
#include "transfer/updatefile.h"
#include "widgets/messagelabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

namespace {

// Records each comparison it is asked for instead of showing one.
class RecordingComparer : public VersionComparer
{
public:
    static QList<Versions> calls;
    using VersionComparer::VersionComparer;
    void compare(const Versions &versions, QWidget *) override
    {
        calls.append(versions);
        emit finished(true, QString());
    }
    QString backendName() const override { return QStringLiteral("recording"); }
};
QList<VersionComparer::Versions> RecordingComparer::calls;

QVariantMap post(const ServerProcess &server, const QString &token, const QString &path,
                 FormParams form)
{
    form.insert("token", token);
    return HttpCurl::instance()->postJson(server.url() + path, form).toMap();
}

QString lockAs(const ServerProcess &server, const QString &token, const QString &fileId,
               const QString &type)
{
    const QVariantMap reply =
        post(server, token, "/api/file/lock.jf", {{"fileId", fileId}, {"type", type}});
    return reply.value("code").toString() == "0" ? QStringLiteral("ok")
                                                 : reply.value("msg").toString();
}

QVariantList versionsOf(const ServerProcess &server, const QString &token, const QString &fileId)
{
    return post(server, token, "/api/file/version-list.jf", {{"fileId", fileId}})
        .value("data")
        .toList();
}

// Answers the next message box with `button`, keeping its title and text.
void answerBox(QString *seen, const QString &button = "OK")
{
    answerNextModal([seen, button](QWidget *modal) {
        *seen = modal->windowTitle() + "|" + labelTexts(modal).trimmed();
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>()) {
            if (b->text().remove('&') == button) {
                b->click();
                return;
            }
        }
        modal->close();
    });
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

void pointClientAt(const QString &url)
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("host", "127.0.0.1");
    settings.insert("port", url.section(':', -1));
    GCore::instance()->writeSettings(settings);
}

void tick(DVersionCompare &dialog, const QStringList &versions)
{
    for (QCheckBox *box : qAsConst(dialog.checkBoxes))
        box->setChecked(versions.contains(box->property("version").toString()));
}

} // namespace

class TestVersions : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;
    QString zhang, lisi, admin;
    UrlRecorder recorder;
    QTemporaryDir local;

    QVariantMap entry(const QStringList &path)
    {
        QString parent = "0";
        QVariantMap found;
        for (const QString &name : path) {
            found = findEntry(
                post(*server, zhang, "/api/file/list-file.jf", {{"parentId", parent}}), name);
            parent = found.value("fileId").toString();
        }
        return found;
    }

    void useServer(const QString &token)
    {
        server->configureClient();
        GCore::instance()->setToken(token);
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<ServerProcess>();
        QVERIFY2(server->start(), qPrintable(server->error()));
        zhang = server->login("zhangsan", "123456");
        lisi = server->login("lisi", "123456");
        admin = server->login("admin", "admin123");
        QVERIFY(!zhang.isEmpty() && !lisi.isEmpty() && !admin.isEmpty());
        QDesktopServices::setUrlHandler("file", &recorder, "open");
    }

    void init()
    {
        useServer(zhang);
        recorder.opened.clear();
        RecordingComparer::calls.clear();
        VersionComparer::setFactory({});
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("file");
        VersionComparer::setFactory({});
        server.reset();
    }

    void browsersOpenTheThreeDialogs()
    {
        auto library = std::make_unique<CompanyDocument>();
        library->resize(1000, 600);
        library->show();
        // The start-up lists twice (the empty id first, then "0").
        QTRY_VERIFY(library->currentFolderId == "0" && rowOf(*library, "研发中心") >= 0 &&
                    library->treeModel->rowCount() > 0);
        library->requestFileList(entry({"公共资料"}).value("fileId").toString(), true);
        QTRY_VERIFY(rowOf(*library, "会议纪要.txt") >= 0);
        const struct
        {
            const char *menu;
            const char *title;
        } entries[] = {{"上传更新", "上传更新"}, {"编辑", "编辑文件"}, {"版本列表", "版本列表"}};
        for (const auto &e : entries) {
            QString title;
            answerNextModal([&title](QWidget *modal) {
                title = modal->findChild<QLabel *>()->text();
                static_cast<QDialog *>(modal)->reject();
            });
            menuAt(*library, rowOf(*library, "会议纪要.txt"), e.menu);
            QTRY_COMPARE(title, QString::fromUtf8(e.title));
        }

        // The net disk's dialog has no version rows.
        auto disk = std::make_unique<NetDisk>();
        disk->resize(1000, 600);
        disk->show();
        QTRY_VERIFY(rowOf(*disk, "待办.txt") >= 0);
        bool versionRowShown = true;
        answerNextModal([&versionRowShown](QWidget *modal) {
            auto *dialog = qobject_cast<UpdateFile *>(modal);
            QVERIFY(dialog);
            versionRowShown = dialog->createVersionBox->isVisibleTo(dialog) ||
                              dialog->descEdit->isVisibleTo(dialog);
            dialog->reject();
        });
        menuAt(*disk, rowOf(*disk, "待办.txt"), "上传更新");
        QTRY_VERIFY(!versionRowShown);
    }

    void newVersionInTheLibrary()
    {
        const QVariantMap notes = entry({"公共资料", "会议纪要.txt"});
        const QString id = notes.value("fileId").toString();
        const int before = versionsOf(*server, zhang, id).size();
        UpdateFile dialog(notes, nullptr, 0);
        dialog.show();

        dialog.uploadFile();
        QCOMPARE(dialog.errorLabel->text(), QStringLiteral("请添加文件"));
        answerFileDialog({writeFile(local.filePath("纪要.docx"), "x")});
        dialog.addFile();
        QVERIFY(dialog.fileBox->isVisible());
        QCOMPARE(dialog.fileLabel->text(), QStringLiteral("纪要.docx(1B)"));
        dialog.uploadFile();
        QCOMPARE(dialog.errorLabel->text(), QStringLiteral("添加文件与原文件扩展名不一致"));

        // The extension test ignores case.
        const QByteArray content = "周例会纪要：\n1. 新版本\n";
        answerFileDialog({writeFile(local.filePath("NOTES.TXT"), content)});
        dialog.addFile();
        dialog.descEdit->setPlainText("测试新版本");
        QString box;
        answerBox(&box);
        dialog.saveButton->click();
        dialog.saveButton->click(); // a second press while uploading starts nothing
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(box, QStringLiteral("上传成功|上传更新成功"));
        const QVariantList versions = versionsOf(*server, zhang, id);
        QCOMPARE(versions.size(), before + 1);
        QCOMPARE(versions.first().toMap().value("memo").toString(), QStringLiteral("测试新版本"));
        QCOMPARE(versions.first().toMap().value("length").toLongLong(), qint64(content.size()));
    }

    void netDiskFormCancelAndCloseDuringUpload()
    {
        ScriptedHttpServer scripted;
        scripted.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply("{\"code\":0}")};
        });
        pointClientAt(scripted.url());
        GCore::instance()->setToken("tok");
        const QVariantMap item{{"fileId", "42"}, {"fileName", "待办.txt"}, {"version", 1}};
        const QString small = writeFile(local.filePath("todo.txt"), "1. 完成\n");
        {
            UpdateFile dialog(item, nullptr, 1);
            dialog.show();
            answerFileDialog({small});
            dialog.addFile();
            QString box;
            answerBox(&box);
            dialog.saveButton->click();
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
            const QByteArray request = scripted.requests().value(0);
            QVERIFY(request.startsWith("POST /api/netdisk/save-update-file.jf"));
            QCOMPARE(ScriptedHttpServer::multipartField(request, "token"), QByteArray("tok"));
            QCOMPARE(ScriptedHttpServer::multipartField(request, "fileId"), QByteArray("42"));
            QCOMPARE(ScriptedHttpServer::multipartField(request, "versionDesp"),
                     QByteArray("<absent>"));
            QCOMPARE(ScriptedHttpServer::multipartField(request, "isCreateFile"),
                     QByteArray("<absent>"));
        }

        // A server that stops reading holds the upload until it is cancelled.
        scripted.setStallReading(true);
        const QString big = writeFile(local.filePath("big.txt"), QByteArray(16 << 20, 'x'));
        UpdateFile dialog(item, nullptr, 1);
        dialog.show();
        answerFileDialog({big});
        dialog.addFile();
        dialog.saveButton->click();
        QVERIFY(dialog.uploading);
        QVERIFY(!dialog.addButton->isEnabled());
        dialog.findChild<QPushButton *>("cancelFile")->click();
        QTRY_VERIFY(!dialog.uploading);
        QVERIFY(dialog.filePath.isEmpty());
        QVERIFY(!dialog.fileBox->isVisible());
        QVERIFY(dialog.addButton->isEnabled());
        QVERIFY(dialog.isVisible());

        // Closing during an upload stops it, and the dialog goes once it has.
        answerFileDialog({big});
        dialog.addFile();
        dialog.saveButton->click();
        dialog.reject();
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void editRoundTrip()
    {
        const QVariantMap notes = entry({"公共资料", "会议纪要.txt"});
        const QString id = notes.value("fileId").toString();
        const int before = versionsOf(*server, zhang, id).size();
        DEditFile dialog(notes, nullptr);
        dialog.show();
        QCOMPARE(dialog.statusLabel->text(), QStringLiteral("准备编辑"));
        dialog.actionButton->click();
        // Nothing starts twice while the lock request is out.
        QVERIFY(!dialog.actionButton->isEnabled());
        dialog.reject();
        QTRY_COMPARE(dialog.actionButton->text(), QStringLiteral("完成编辑"));
        QTRY_COMPARE(recorder.opened.size(), 1);
        QVERIFY(dialog.actionButton->isEnabled());
        QCOMPARE(dialog.statusLabel->text(), QStringLiteral("开始编辑"));
        // The working copy: a folder per file id, the server's name inside.
        const QString copy = recorder.opened.first().toLocalFile();
        QCOMPARE(copy, GCore::cacheDir() + "/edit/" + id + "/会议纪要.txt");
        QCOMPARE(QFileInfo(copy).size(), notes.value("length").toLongLong());
        QVERIFY(lockAs(*server, lisi, id, "1").contains("张三"));

        // Unchanged: asked first; "No" sends nothing.
        QString box;
        answerBox(&box, "No");
        dialog.actionButton->click();
        QVERIFY(box.startsWith("文件未修改|"));
        QCOMPARE(versionsOf(*server, zhang, id).size(), before);

        QVERIFY(!writeFile(copy, "周例会纪要：\n1. 编辑后的内容\n").isEmpty());
        dialog.descEdit->setPlainText("在线编辑");
        answerBox(&box);
        dialog.actionButton->click();
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(box, QStringLiteral("编辑成功|文件已编辑成功"));
        const QVariantList versions = versionsOf(*server, zhang, id);
        QCOMPARE(versions.size(), before + 1);
        QCOMPARE(versions.first().toMap().value("memo").toString(), QStringLiteral("在线编辑"));
        // Released: somebody else may lock it now.
        QCOMPARE(lockAs(*server, lisi, id, "1"), QStringLiteral("ok"));
        QCOMPARE(lockAs(*server, lisi, id, "0"), QStringLiteral("ok"));
    }

    void cancelWithAWorkingCopyAsksFirst()
    {
        const QVariantMap notes = entry({"公共资料", "会议纪要.txt"});
        const QString id = notes.value("fileId").toString();
        DEditFile dialog(notes, nullptr);
        dialog.show();
        dialog.actionButton->click();
        QTRY_COMPARE(recorder.opened.size(), 1);
        QPushButton *cancel = nullptr;
        for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
            if (button->text() == "取消")
                cancel = button;
        }
        QVERIFY(cancel);
        // Neither button is what Enter presses.
        for (QPushButton *button : {cancel, dialog.actionButton})
            QVERIFY2(!button->autoDefault() && !button->isDefault(), qPrintable(button->text()));
        saveShot(&dialog, "editfile");

        // A stray Space on the focused "取消" asks; "No" keeps the edit and the lock.
        cancel->setFocus();
        QString box;
        answerBox(&box, "No");
        QTest::keyClick(cancel, Qt::Key_Space);
        QCOMPARE(box, QStringLiteral("放弃编辑|放弃编辑？本地修改不会上传，文件锁将被释放。"));
        QVERIFY(dialog.isVisible());
        QVERIFY(lockAs(*server, lisi, id, "1").contains("张三"));

        // "Yes" releases the lock; the dialog closes once the server has answered.
        answerBox(&box, "Yes");
        cancel->click();
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(lockAs(*server, lisi, id, "1"), QStringLiteral("ok"));
        QCOMPARE(lockAs(*server, lisi, id, "0"), QStringLiteral("ok"));
    }

    void placeholdersAreGreyInTheClientsLook()
    {
        // The client's own look: the style sheet and palette of the start-up.
        const QPalette before = qApp->palette();
        const QString sheetBefore = qApp->styleSheet();
        startup::applyStyleSheet(*qApp);
        auto restore = qScopeGuard([&] {
            qApp->setStyleSheet(sheetBefore);
            qApp->setPalette(before);
        });
        // The note box of the edit dialog and a line edit styled as the
        // browsers style theirs, empty and then with text typed.
        DEditFile dialog(entry({"公共资料", "会议纪要.txt"}), nullptr);
        dialog.show();
        QLineEdit edit;
        edit.setStyleSheet(".QLineEdit {background:#fff;border:1px solid #ccc;}");
        edit.setPlaceholderText("请输入关键词");
        edit.resize(200, 30);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QCOMPARE(dialog.descEdit->placeholderText(), QStringLiteral("选填"));
        const int placeholderInk = darkestGrey(&edit);
        const int noteInk = darkestGrey(dialog.descEdit->viewport());
        saveShot(&dialog, "placeholder");
        QTest::keyClicks(&edit, "abc");
        dialog.descEdit->setPlainText("abc");
        QVERIFY2(placeholderInk > darkestGrey(&edit) + 60,
                 qPrintable(QString::number(placeholderInk)));
        QVERIFY2(noteInk > darkestGrey(dialog.descEdit->viewport()) + 60,
                 qPrintable(QString::number(noteInk)));
        QCOMPARE(edit.palette().color(QPalette::Text), QColor("#333"));
    }

    void refusedLockStopsAndKeepsTheHoldersLock()
    {
        // 李四 holds the lock of 需求说明.docx; even the administrator is stopped,
        // and closing the dialog leaves 李四's lock in place.
        const QVariantMap doc = entry({"研发中心", "设计文档", "需求说明.docx"});
        const QString id = doc.value("fileId").toString();
        useServer(admin);
        {
            DEditFile dialog(doc, nullptr);
            dialog.show();
            dialog.actionButton->click();
            QTRY_COMPARE(dialog.statusLabel->text(), QStringLiteral("文件已被李四锁定"));
            QCOMPARE(dialog.actionButton->text(), QStringLiteral("开始编辑"));
            QVERIFY(recorder.opened.isEmpty());
            QVERIFY(!QFileInfo::exists(DEditFile::workingCopyPath(doc)));
            dialog.reject();
        }
        QVERIFY(lockAs(*server, zhang, id, "1").contains("李四"));
    }

    void cancelDuringDownloadReleasesTheLockAndWritesNothing()
    {
        ScriptedHttpServer scripted;
        scripted.start([](const QByteArray &request) {
            if (request.startsWith("POST /api/file/download.jf")) {
                ScriptedHttpServer::Reply r;
                r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n";
                r.trickleBytes = 100000000;
                return r;
            }
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply("{\"code\":0}")};
        });
        pointClientAt(scripted.url());
        GCore::instance()->setToken("tok2");
        const QVariantMap item{{"fileId", "77"},
                               {"fileName", "大文件.docx"},
                               {"fileExtend", "docx"},
                               {"length", 100000000}};
        {
            DEditFile dialog(item, nullptr);
            dialog.show();
            dialog.actionButton->click();
            QTRY_VERIFY(dialog.statusLabel->text().startsWith("下载中("));
            QVERIFY(!dialog.actionButton->isEnabled());
            dialog.reject();
            // Closes once the lock is released.
            QTRY_VERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        const QList<QByteArray> requests = scripted.requests();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(ScriptedHttpServer::bodyOf(requests.at(0)),
                 QByteArray("fileId=77&token=tok2&type=1"));
        QCOMPARE(ScriptedHttpServer::bodyOf(requests.at(2)),
                 QByteArray("fileId=77&token=tok2&type=0"));
        const QDir folder = QFileInfo(DEditFile::workingCopyPath(item)).dir();
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(recorder.opened.isEmpty());
    }

    void versionListOrderAndTheExactlyTwoRule()
    {
        VersionComparer::setFactory(
            [](const QString &, QObject *parent) { return new RecordingComparer(parent); });
        QVariantMap handbook = entry({"公司制度", "员工手册.docx"});
        handbook.insert("fileExtend", "DOCX"); // capitals still make a Word document
        DVersionCompare dialog(handbook, nullptr);
        dialog.show();
        QTRY_COMPARE(dialog.versionTable->rowCount(), 3);
        QCOMPARE(dialog.versionTable->item(0, 1)->text(), QStringLiteral("3"));
        QCOMPARE(dialog.versionTable->item(2, 1)->text(), QStringLiteral("1"));
        QCOMPARE(dialog.versionTable->item(0, 3)->text(), QStringLiteral("2024年修订"));
        // Every header shows its whole text; who uploaded each version and
        // when follow the description, as the server sends them.
        QHeaderView *header = dialog.versionTable->horizontalHeader();
        QStringList headers;
        for (int column = 0; column < dialog.versionTable->columnCount(); ++column) {
            headers << dialog.versionTable->horizontalHeaderItem(column)->text();
            QVERIFY2(header->sectionSize(column) >= header->sectionSizeHint(column),
                     qPrintable(headers.last()));
        }
        QCOMPARE(headers,
                 QStringList({"选择", "版本号", "文件长度", "版本描述", "上传时间", "上传者"}));
        QVERIFY(header->sectionViewportPosition(5) + header->sectionSize(5) <=
                dialog.versionTable->viewport()->width());
        const QVariantList sent = versionsOf(*server, zhang, handbook.value("fileId").toString());
        for (int row = 0; row < 3; ++row) {
            const QVariantMap version = sent.at(row).toMap();
            QCOMPARE(dialog.versionTable->item(row, 1)->text(),
                     version.value("version").toString());
            QCOMPARE(dialog.versionTable->item(row, 4)->text(),
                     QDateTime::fromMSecsSinceEpoch(version.value("createTime").toLongLong())
                         .toString("yyyy-MM-dd HH:mm"));
            QCOMPARE(dialog.versionTable->item(row, 5)->text(), version.value("user").toString());
            QVERIFY(!version.value("user").toString().isEmpty());
            for (const int column : {4, 5}) {
                const QString text = dialog.versionTable->item(row, column)->text();
                QVERIFY2(dialog.versionTable->fontMetrics().horizontalAdvance(text) <
                             header->sectionSize(column),
                         qPrintable(text));
            }
        }
        saveShot(&dialog, "versionlist");
        QVERIFY(dialog.compareButton->isEnabled());
        tick(dialog, {"2"});
        dialog.compareButton->click();
        QCOMPARE(dialog.errorLabel->text(), QStringLiteral("请选中两个版本进行对比"));
        tick(dialog, {"1", "2", "3"});
        dialog.compareButton->click();
        QCOMPARE(dialog.errorLabel->text(), QStringLiteral("请选中两个版本进行对比"));

        // Versions 3 and 1: 1 is the older one whatever the order of ticking.
        const QVariantList versions =
            versionsOf(*server, zhang, handbook.value("fileId").toString());
        for (int round = 0; round < 2; ++round) {
            tick(dialog, {"1", "3"});
            dialog.compareButton->click();
            QTRY_COMPARE(RecordingComparer::calls.size(), round + 1);
            const VersionComparer::Versions v = RecordingComparer::calls.last();
            QCOMPARE(v.olderVersion, 1);
            QCOMPARE(v.newerVersion, 3);
            QCOMPARE(v.extension, QStringLiteral("docx"));
            QVERIFY(v.olderPath.startsWith(GCore::versionCacheDir() + "/版本1_"));
            QVERIFY(v.newerPath.startsWith(GCore::versionCacheDir() + "/版本3_"));
            QCOMPARE(HttpCurl::md5HexOfFile(v.olderPath),
                     versions.last().toMap().value("md5").toString());
            QCOMPARE(HttpCurl::md5HexOfFile(v.newerPath),
                     versions.first().toMap().value("md5").toString());
        }
        // The same pair again comes in new files.
        QVERIFY(RecordingComparer::calls.at(0).olderPath !=
                RecordingComparer::calls.at(1).olderPath);

        // One version only: nothing to compare.
        DVersionCompare single(entry({"公司制度", "人事", "2024", "入职指引.txt"}), nullptr);
        QTRY_COMPARE(single.versionTable->rowCount(), 1);
        QVERIFY(!single.compareButton->isEnabled());
    }

    void builtInComparisonShowsTheKnownChanges()
    {
        VersionComparer::setFactory(
            [](const QString &, QObject *parent) { return new BuiltinComparer(parent); });
        DVersionCompare dialog(entry({"公司制度", "员工手册.docx"}), nullptr);
        dialog.show();
        QTRY_COMPARE(dialog.versionTable->rowCount(), 3);
        tick(dialog, {"3", "1"});
        dialog.compareButton->click();
        CompareWindow *window = nullptr;
        QTRY_VERIFY((window = dialog.findChild<CompareWindow *>()) != nullptr);
        QTRY_VERIFY(window->isVisible());
        QVERIFY(labelTexts(window).contains("版本 1（较早）"));
        QVERIFY(labelTexts(window).contains("版本 3（较新）"));

        const CompareView *view = window->view;
        QStringList removed, added, changed;
        QString olderMarked, unmarkedNewer;
        // The text outside the marks is what both sides have in common.
        const auto unmarked = [](QString text, const QVector<TextDiff::Mark> &marks) {
            for (int i = marks.size() - 1; i >= 0; --i)
                text.remove(marks.at(i).start, marks.at(i).length);
            return text;
        };
        for (const TextDiff::Row &row : view->rows()) {
            if (row.kind == TextDiff::Row::Removed)
                removed << view->olderParagraphs().at(row.older);
            if (row.kind == TextDiff::Row::Added)
                added << view->newerParagraphs().at(row.newer);
            if (row.kind != TextDiff::Row::Changed)
                continue;
            const QString before = view->olderParagraphs().at(row.older);
            const QString after = view->newerParagraphs().at(row.newer);
            changed << after;
            QCOMPARE(unmarked(before, row.olderMarks), unmarked(after, row.newerMarks));
            if (after.startsWith("为规范公司管理")) {
                for (const TextDiff::Mark &m : row.olderMarks)
                    olderMarked += before.mid(m.start, m.length);
                unmarkedNewer = unmarked(after, row.newerMarks);
            }
        }
        QCOMPARE(removed, QStringList({"员工应保持办公区域整洁，不得在办公区域吸烟。"}));
        QVERIFY(added.contains("第四章 福利待遇"));
        QVERIFY(
            added.contains("员工年休假天数按累计工作年限确定，工作满一年不满十年的，年休假五天。"));
        QCOMPARE(changed.size(), 5);
        QCOMPARE(olderMarked, QStringLiteral("国家有关"));
        QCOMPARE(unmarkedNewer, QStringLiteral("为规范公司管理，明确员工的权利和义务，根据法律法规"
                                               "，结合公司实际情况，制定本手册。"));

        // Jumping between the changes.
        QVERIFY(!window->previousButton->isEnabled());
        window->nextButton->click();
        QCOMPARE(view->currentChange(), 0);
        QCOMPARE(window->positionLabel->text(),
                 QStringLiteral("第 1/%1 处").arg(view->changeCount()));
        window->nextButton->click();
        QCOMPARE(view->currentChange(), 1);
        QVERIFY(view->topRow() <= view->changeRow(1));
        window->previousButton->click();
        QCOMPARE(view->currentChange(), 0);

        // Slides in slide order: a slide added, a line dropped.
        DVersionCompare slides(entry({"公共资料", "产品介绍.pptx"}), nullptr);
        QTRY_COMPARE(slides.versionTable->rowCount(), 2);
        tick(slides, {"1", "2"});
        slides.compareButton->click();
        CompareWindow *slideWindow = nullptr;
        QTRY_VERIFY((slideWindow = slides.findChild<CompareWindow *>()) != nullptr);
        QStringList slideAdded, slideRemoved;
        for (const TextDiff::Row &row : slideWindow->view->rows()) {
            if (row.kind == TextDiff::Row::Added)
                slideAdded << slideWindow->view->newerParagraphs().at(row.newer);
            if (row.kind == TextDiff::Row::Removed)
                slideRemoved << slideWindow->view->olderParagraphs().at(row.older);
        }
        QVERIFY(slideAdded.contains("客户案例"));
        QCOMPARE(slideRemoved, QStringList({"邮箱：sales@example.com"}));
        QCOMPARE(slideWindow->view->newerParagraphs().first(),
                 QStringLiteral("Folvane 文档管理系统"));
    }

    void libreOfficeResultHasTrackedChanges()
    {
        if (!LibreOffice::isAvailable())
            QSKIP("LibreOffice (soffice and Python's uno module) is not installed: the LibreOffice "
                  "comparison is not tested here");
        DVersionCompare dialog(entry({"公司制度", "员工手册.docx"}), nullptr);
        dialog.show();
        QTRY_COMPARE(dialog.versionTable->rowCount(), 3);
        tick(dialog, {"3", "1"});
        dialog.compareButton->click();
        QTRY_COMPARE(dialog.errorLabel->text(), QStringLiteral("正在打开"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.opened.size(), 1, 180000);
        QTRY_VERIFY(dialog.errorLabel->text().isEmpty());
        QVERIFY(dialog.errorLabel->text().isEmpty());
        const QString result = recorder.opened.first().toLocalFile();
        QVERIFY(result.startsWith(GCore::versionCacheDir()));
        QVERIFY(result.endsWith("员工手册_版本1与版本3对比.docx"));
        const QByteArray xml = ZipReader(result).readAll("word/document.xml");
        QVERIFY(xml.contains("<w:ins "));
        QVERIFY(xml.contains("<w:del "));
        QVERIFY(xml.contains("吸烟")); // the removed paragraph, as deleted text
    }

    void startUpRemovesOldVersionFiles()
    {
        const QString dir = GCore::versionCacheDir();
        const QString old = writeFile(dir + "/版本1_old.docx", "old");
        const QString fresh = writeFile(dir + "/版本2_new.docx", "new");
        QFile file(old);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-8),
                                 QFileDevice::FileModificationTime));
        file.close();
        GCore::removeStaleVersionFiles();
        QVERIFY(!QFileInfo::exists(old));
        QVERIFY(QFileInfo::exists(fresh));
    }
};

FOLVANE_TEST_MAIN(TestVersions)
#include "tst_versions.moc"
