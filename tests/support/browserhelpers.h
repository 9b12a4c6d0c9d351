#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

class DocumentBrowser;

// Records the URLs the client hands to the desktop services (install it with
// QDesktopServices::setUrlHandler("file", &recorder, "open")).
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// The table row that shows `name`, or -1.
int rowOf(const DocumentBrowser &b, const QString &name);

// Right-clicks a row of the browser's table, answers the context menu (choosing
// `choose` when not empty) and returns the menu's entries.
QStringList menuAt(DocumentBrowser &b, int row, const QString &choose = QString());

// The entry called `name` in a listing reply's "data", or an empty map.
QVariantMap findEntry(const QVariantMap &reply, const QString &name);
