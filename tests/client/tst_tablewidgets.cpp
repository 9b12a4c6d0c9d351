// The browsers' table widgets: the drop table's file list, the header's look
// and signal, the focus-free delegate and the banner's buttons.
#include "app/mainwidget.h"
#include "browse/droptablewidget.h"
#include "browse/topbanner.h"
#include "core/gcore.h"
#include "testmain.h"
#include "transfer/transferpanel.h"
#include "transferhelpers.h"
#include "widgets/headerview.h"
#include "widgets/nofocusdelegate.h"

#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QUrl>

namespace {

bool dropOn(DropTableWidget &table, QMimeData *mime)
{
    const QPoint at = table.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table.viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table.viewport(), &drop);
    return enter.isAccepted();
}

QStringList texts(const QList<QPushButton *> &buttons)
{
    QStringList out;
    for (const QPushButton *b : buttons)
        out << b->text();
    return out;
}

} // namespace

class TestTableWidgets : public QObject
{
    Q_OBJECT
private slots:
    void dropOfTwoFilesGivesOneSignalWithBothPaths()
    {
        DropTableWidget table;
        table.setRowCount(1);
        table.setColumnCount(1);
        table.show();
        QSignalSpy spy(&table, &DropTableWidget::dragFiles);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/报告 1.docx")});
        QVERIFY(dropOn(table, &mime));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toStringList(),
                 QStringList({"/tmp/a.txt", "/tmp/报告 1.docx"}));
        QCOMPARE(table.rowCount(), 1);
    }

    void dropWithoutUrlsGivesNothing()
    {
        DropTableWidget table;
        table.show();
        QSignalSpy spy(&table, &DropTableWidget::dragFiles);
        QMimeData mime;
        mime.setText("just text");
        QVERIFY(dropOn(table, &mime)); // accepted while dragging, ignored on drop
        QCOMPARE(spy.count(), 0);
        QCOMPARE(table.dragDropMode(), QAbstractItemView::DropOnly);
        QVERIFY(table.acceptDrops());
    }

    void headerPaintsEveryRightEdgeAndSignalsEntry()
    {
        QTableWidget table(1, 2);
        table.setHorizontalHeaderLabels({"名称", "大小"});
        auto *header = new HeaderView(Qt::Horizontal, &table);
        table.setHorizontalHeader(header);
        header->setStretchLastSection(false);
        table.setColumnWidth(0, 100);
        table.setColumnWidth(1, 80);
        table.resize(300, 200);
        table.show();
        const QImage image = header->grab().toImage();
        const int y = header->height() / 2;
        QCOMPARE(image.pixelColor(99, y), QColor("#ccc"));
        QCOMPARE(image.pixelColor(179, y), QColor("#ccc")); // the last section too
        QCOMPARE(image.pixelColor(50, 1), QColor("#fff"));

        QSignalSpy spy(header, &HeaderView::enterHeaderView);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(header, &enter);
        QCOMPARE(spy.count(), 1);
    }

    void delegatePaintsSelectedRowsWithoutFocusFrame()
    {
        QTableWidget table(2, 1);
        table.setItemDelegate(new NoFocusDelegate(&table));
        table.setItem(0, 0, new QTableWidgetItem(""));
        table.setItem(1, 0, new QTableWidgetItem(""));
        table.setSelectionBehavior(QAbstractItemView::SelectRows);
        // As the panels' tables: the style paints no highlight of its own.
        table.setStyleSheet(
            "QTableWidget::item:selected {background-color:transparent;color:#333;}");
        table.resize(200, 150);
        table.show();
        table.setCurrentCell(0, 0);
        table.selectRow(0);
        const QImage image = table.viewport()->grab().toImage();
        const QRect selected = table.visualItemRect(table.item(0, 0));
        const QRect plain = table.visualItemRect(table.item(1, 0));
        QCOMPARE(image.pixelColor(selected.left(), selected.center().y()), QColor("#b2eefe"));
        QCOMPARE(image.pixelColor(selected.center()), QColor("#b2eefe"));
        QCOMPARE(image.pixelColor(plain.center()), QColor("#fff"));
    }

    void bannerButtonsPerArea()
    {
        TopBanner library(nullptr, 0);
        QCOMPARE(texts(library.buttons()), QStringList({"新建文件夹", "上传", "下载", "分享",
                                                        "发布", "复制", "移动", "删除"}));
        QCOMPARE(library.buttons().first()->width(), 117);
        QCOMPARE(library.buttons().at(1)->width(), 78);
        QCOMPARE(library.height(), 40);
        TopBanner disk(nullptr, 1);
        QCOMPARE(texts(disk.buttons()),
                 QStringList({"新建文件夹", "上传", "下载", "共享", "复制到文档", "移动", "删除"}));
        QCOMPARE(disk.buttons().at(4)->width(), 117);
        QCOMPARE(disk.transferButton->text(), QStringLiteral("传输列表"));
        QCOMPARE(disk.transferButton->size(), QSize(100, 30));
    }

    void bannerShowsTheTransferPanelWithoutQueuing()
    {
        MainWidget main;
        TransferPanel &panel = *static_cast<TransferPanel *>(GCore::instance()->transferPanel());
        TopBanner banner(nullptr, 0);
        main.showPanelByName("companydocument");
        QVERIFY(!panel.isVisibleTo(&main));
        banner.transferButton->click();
        QVERIFY(panel.isVisibleTo(&main));
        QCOMPARE(rowCountOf(transferTable(panel, "downloadTable")), 0);
        QCOMPARE(panel.findChild<QPushButton *>("upload")->isChecked(), true);
        GCore::instance()->setMainWidget(nullptr);
    }
};

FOLVANE_TEST_MAIN(TestTableWidgets)
#include "tst_tablewidgets.moc"
