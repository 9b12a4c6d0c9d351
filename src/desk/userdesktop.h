#pragma once

#include "core/httpcurl.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QWidget>

class LinkLabel;
class LoadErrorLabel;
class QLabel;
class QPropertyAnimation;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class TPushButton;

// The personal desktop, the first panel of the main window and the landing
// page after sign-in: a ticker of the latest announcements, the eight lists of
// files shared, published, favoured or subscribed to or by the user ("我的待办"),
// and the user's frequent or latest files. Double-clicking a file, or "查看" in
// its menu, asks the company library to open the file's folder.
class UserDesktop : public QWidget
{
    Q_OBJECT
public:
    explicit UserDesktop(QWidget *parent = nullptr);

    // The number of left-bar lists.
    static constexpr int leftListCount = 8;
    // Shown again (the main window switched back here): the lists reload
    // after a change this client made, otherwise when older than this.
    static constexpr int reloadSpacingMs = 30000;
    // The entry in force: the first left-bar button that shows its marker, or 0.
    int leftEntry() const;
    // Centres the two load-error labels in their tables.
    void placeErrorLabels();

    // One row of a left-bar list: the file it opens, its first text line, its
    // date, whose picture it shows (empty: the default picture) and the
    // library folder "查看" opens (empty: the file's own).
    struct LeftRow
    {
        QVariantMap file;
        QString firstLine;
        QString date;
        QString avatarUser;
        QString folderId;
    };
    // The rows of a successful reply to left-bar list `entry`.
    static QList<LeftRow> leftRows(int entry, const QVariantMap &reply);

    QList<TPushButton *> leftBarButtons;
    QVariantList notices;
    LinkLabel *noticeLabel = nullptr;
    QWidget *noticeArea = nullptr;
    QPropertyAnimation *noticeAnimation = nullptr;
    int noticeIndex = 0;
    QTableWidget *rightTable = nullptr;
    QTableWidget *leftTable = nullptr;
    TPushButton *oftenButton = nullptr;
    TPushButton *latestButton = nullptr;
    LoadErrorLabel *rightErrorLabel = nullptr;
    LoadErrorLabel *leftErrorLabel = nullptr;
    // Rotates the ticker every 3 seconds and reloads it every 5 minutes.
    QTimer *noticeTimer = nullptr;
    QTimer *noticeReloadTimer = nullptr;

signals:
    // Asks the company library to list `parentId` and select `fileId`.
    void openFolder(QString parentId, QString fileId);

public slots:
    void showAnouncement();
    void slotLeftBarBtClicked();
    void requestAnouncementData();
    void showRightTable(int type = 1);
    void receiveRightTableData(QVariantMap reply);
    void showLeftTable();
    void slotRightTablePressed(int row, int column);
    void slotRightTableDoubleClicked(int row, int column);
    void slotLeftTablePressed(int row, int column);
    void slotLeftTableDoubleClicked(int row, int column);
    void slotLeftTableReceiveData(QVariantMap reply);
    void receiveThumb(QByteArray data, void *pt);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildTicker();
    QWidget *buildLeftPanel();
    QWidget *buildRightPanel();
    QTableWidget *makeTable(int columns);
    void selectLeftBarButton(TPushButton *button);
    // Shows the button as the entry in force, without loading its list.
    void markLeftBarButton(TPushButton *button);
    void requestLeftList(int entry);
    void requestRightList(int type);
    // Posts a list request numbered by `serial`; only the reply of the latest
    // request goes to `handler`.
    void postList(const QString &path, const FormParams &params, quint64 *serial,
                  void (UserDesktop::*handler)(QVariantMap));
    void clearLeftTable();
    void addLeftRow(const QVariantMap &file, const QString &firstLine, const QString &date,
                    const QString &avatarUser, const QString &folderId);
    QWidget *rowWidget(const QVariantMap &file, const QString &firstLine,
                       const QString &avatarUser);
    void requestThumbs();
    void openRow(const QTableWidgetItem *item);
    void pressRow(const QTableWidgetItem *item);

    // Numbers the list requests: a reply that arrives after a newer request
    // of the same table is dropped instead of replacing the newer list.
    quint64 leftSerial = 0;
    quint64 rightSerial = 0;
    // The kind of the right list asked for last (1 frequent, 2 latest).
    int rightType = 1;
    // When the lists were last asked for, and how many changes had been made then.
    QElapsedTimer listsRequested;
    quint64 changesSeen = 0;
    // The avatar labels of the left table still waiting for a picture, by
    // user id; one request per user serves all of them.
    QHash<QString, QList<QLabel *>> thumbLabels;
    // The user of each avatar request of the current left list, by request
    // number (the request's pointer argument). A reload forgets them all, so a
    // late picture finds nothing to show on.
    QHash<quintptr, QString> thumbRequests;
    quintptr thumbSerial = 0;
    // The picture of an avatar until its user's picture arrives.
    QPixmap defaultThumb;
};
