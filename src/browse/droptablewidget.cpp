#include "browse/droptablewidget.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

DropTableWidget::DropTableWidget(QWidget *parent) : QTableWidget(parent)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void DropTableWidget::dragEnterEvent(QDragEnterEvent *event)
{
    event->acceptProposedAction();
}

void DropTableWidget::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void DropTableWidget::dropEvent(QDropEvent *event)
{
    const QMimeData *mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    static const QRegularExpression fileScheme(QStringLiteral("^file:///"));
    QStringList files;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl &url : urls) {
        // Stripping "file:///" from the text leaves "C:/x" of a Windows URL but
        // would drop the leading slash of a Unix path; Qt knows both forms.
        files.append(url.isLocalFile() ? url.toLocalFile() : url.toString().remove(fileScheme));
    }
    if (!files.isEmpty())
        emit dragFiles(files);
}
