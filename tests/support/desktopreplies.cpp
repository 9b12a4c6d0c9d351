#include "desktopreplies.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray envelope(const QJsonValue &data)
{
    return QJsonDocument(QJsonObject{{"code", 0}, {"msg", ""}, {"data", data}})
        .toJson(QJsonDocument::Compact);
}

QByteArray sharedWithMeReply(int shares, int filesPerShare, int senders)
{
    QJsonArray list;
    for (int s = 0; s < shares; ++s) {
        QJsonArray files;
        for (int f = 0; f < filesPerShare; ++f)
            files.append(QJsonObject{{"fileId", QString("f%1-%2").arg(s).arg(f)},
                                     {"parentId", "p"},
                                     {"fileName", QString("文件%1-%2.docx").arg(s).arg(f)},
                                     {"fileType", 2},
                                     {"fileExtend", "docx"}});
        list.append(QJsonObject{{"id", QString("s%1").arg(s)},
                                {"userId", QString("u%1").arg(s % senders)},
                                {"userName", QString("同事%1").arg(s % senders)},
                                {"time", 1700000000000.0},
                                {"files", files}});
    }
    return envelope(list);
}

QByteArray avatarPng()
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
