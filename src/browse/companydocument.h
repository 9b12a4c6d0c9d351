#pragma once

#include "browse/documentbrowser.h"

class QMovie;

// The main window's company document library panel: the shared browser with
// the library's paths and columns, the permission test on every row (the
// "authList" letters), the library's context menu, the advanced-search button
// and the tree's loading animation. The personal desktop opens folders here.
class CompanyDocument : public DocumentBrowser
{
    Q_OBJECT
public:
    explicit CompanyDocument(QWidget *parent = nullptr);
    ~CompanyDocument() override;

    // The permission test: `letter` (or "L") in the entry's "authList";
    // `type` 1 or 2 also requires that "fileType". With `multi` the test runs
    // over every selected row instead (unless the entry is a search result).
    bool checkAuth(const QVariantMap &entry, const QString &letter, bool multi, int type) const;

    void placeOverlays() override;
    // Sends the search for `criteria` (as DSearchFullTxt fills them) and turns
    // the table into the result list until the next listing.
    void startSearch(const QVariantMap &criteria);
    bool showsResults() const { return resultMode; }
    // Shows or hides the loading animation over the tree (the tree model calls it).
    void showTreeLoading(bool on);

    QLabel *treeLoadingLabel = nullptr;
    QMovie *treeLoadingMovie = nullptr;

public slots:
    void tableRightClicked(QModelIndex index) override;
    void editFile(QVariantMap entry);
    void versionCompare(QVariantMap entry);
    void searchFullTxt();
    void receiveFullTxtData(QVariantMap map);
    void showFolder(QString parentId, QString fileId);

protected:
    QString rootName() const override;
    bool mayOpen(const QVariantMap &entry) const override;
    bool mayDownload(const QVariantMap &entry) const override;
    bool mayDelete(const QVariantMap &entry) const override;
    bool mayRename(const QVariantMap &entry) const override;
    bool mayManage(const QVariantMap &entry) const override;
    void prepareListing() override;
    bool showsListing() const override { return !resultMode; }
    void showOpenPercent(int row, int percent) override;

private:
    bool checkAny(const QVariantMap &entry, const QStringList &letters, bool multi) const;

    bool resultMode = false;
    // The keyword of the search the table shows or waits for.
    QString searchKey;
    // Numbers the searches: only the reply to the last one is shown, and only
    // while the table still shows results.
    quint64 searchSerial = 0;
    // The rows' height in the listing, given back when the results go.
    int listingRowHeight = 0;
};
