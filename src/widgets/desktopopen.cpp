#include "widgets/desktopopen.h"

#include "widgets/plainmessagebox.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUrl>

bool openLocalPath(QWidget *parent, const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    QString problem;
    if (!info.exists())
        problem = QStringLiteral("找不到：\n%1\n它可能已被移动或删除。").arg(shown);
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())))
        problem = info.isDir() ? QStringLiteral("系统无法打开文件夹：\n%1").arg(shown)
                               : QStringLiteral("系统无法打开文件：\n%1\n"
                                                "请确认已安装可以打开此类文件的程序。")
                                     .arg(shown);
    if (problem.isEmpty())
        return true;
    plainMessageBox(parent, QMessageBox::Warning, QStringLiteral("打开出错"), problem);
    return false;
}
