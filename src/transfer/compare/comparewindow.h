#pragma once

#include "transfer/compare/textdiff.h"
#include "widgets/framelessdialog.h"

class CompareView;
class QLabel;
class QPushButton;

// The built-in comparison window: the text of two versions side by side
// (older left), the version numbers over the columns, a count of what
// changed, and "上一处"/"下一处" to jump from one change to the next.
class CompareWindow : public FramelessDialog
{
    Q_OBJECT
public:
    CompareWindow(const QString &fileName, int olderVersion, int newerVersion, QWidget *parent);

    void setComparison(const QStringList &older, const QStringList &newer,
                       const QVector<TextDiff::Row> &rows);

    CompareView *view = nullptr;
    QPushButton *previousButton = nullptr;
    QPushButton *nextButton = nullptr;
    QLabel *summaryLabel = nullptr;
    QLabel *positionLabel = nullptr;

private:
    void updateNavigation();
};
