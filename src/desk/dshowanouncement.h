#pragma once

#include "widgets/framelessdialog.h"

#include <QString>
#include <QVariantMap>

class QLabel;
class QPlainTextEdit;

// Shows one announcement in full (its date, title and content), read-only.
// The desktop's ticker opens it with the announcement's id; the content is
// fetched once per opening.
class DShowAnouncement : public FramelessDialog
{
    Q_OBJECT
public:
    DShowAnouncement(const QString &id, QWidget *parent = nullptr);

    QLabel *dateLabel = nullptr;
    QLabel *noticeTitleLabel = nullptr;
    QPlainTextEdit *contentEdit = nullptr;

public slots:
    void receiveData(QVariantMap reply);

private:
    QString id;
};
