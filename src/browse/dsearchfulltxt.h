#pragma once

#include "core/httpcurl.h"
#include "widgets/framelessdialog.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <QVariantMap>

class MessageLabel;
class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class TreeView;
class TreeViewModel;

// The library's advanced search: a keyword and optional criteria (a folder,
// file types by category or typed in, a creator, a period of modification).
// Accepting fills the caller's map:
//     "key"        the keyword, trimmed (always)
//     "parentId"   the chosen folder's id, empty without one (always)
//     "ext"        QStringList of extensions (always, may be empty)
//     "userId"     the chosen creator (when one was chosen)
//     "startTime", "endTime"  "yyyy-MM-dd" (only for a real period: the end
//                  not before the start and less than 9 years apart, so the
//                  default span of 20 years does not filter)
// searchForm() turns that map into the form of "/api/file/search.jf".
class DSearchFullTxt : public FramelessDialog
{
    Q_OBJECT
public:
    DSearchFullTxt(QVariantMap *criteria, QWidget *parent);

    // The category buttons and the extensions of each, in the order shown.
    static const QList<QPair<QString, QStringList>> &categories();

    // The search form for `criteria` (without the token): "solrKeyword"
    // always, "solrDirectoryId" for a folder other than the top node,
    // "solrFileExtend" for extensions, "solrCreatorId" for a creator and
    // "solrStartTime"/"solrEndTime" for a period.
    static FormParams searchForm(const QVariantMap &criteria);

    TreeViewModel *folderModel = nullptr;
    TreeView *folderView = nullptr;
    QList<QPushButton *> categoryButtons;
    QMap<QString, QCheckBox *> extBoxes;
    QStringList extensions;
    QLineEdit *customExtEdit = nullptr;
    MessageLabel *errorLabel = nullptr;
    QLineEdit *creatorEdit = nullptr;
    QLineEdit *keywordEdit = nullptr;
    QDateEdit *fromDate = nullptr;
    QDateEdit *toDate = nullptr;
    QStringList creatorIds;
    QVariantMap *criteria = nullptr;
    QPushButton *searchButton = nullptr;
    QPushButton *chooseButton = nullptr;

public slots:
    void showExtPanel();
    void selectUser();
    void accept() override;

private:
    // Shows the boxes of one category (or the free text field of "自定义").
    void showCategory(QPushButton *button);
    // The checked extensions followed by the typed ones.
    QStringList chosenExtensions() const;
};
