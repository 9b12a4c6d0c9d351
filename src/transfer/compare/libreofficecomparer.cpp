#include "transfer/compare/libreofficecomparer.h"

#include "core/gcore.h"
#include "transfer/compare/libreoffice.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace {

// The script ends LibreOffice itself when told to stop; it gets this long.
constexpr int kStopGraceMs = 5000;

} // namespace

LibreOfficeComparer::LibreOfficeComparer(QObject *parent) : VersionComparer(parent) {}

LibreOfficeComparer::~LibreOfficeComparer()
{
    if (!process)
        return;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(kStopGraceMs)) {
            process->kill();
            process->waitForFinished();
        }
    }
}

bool LibreOfficeComparer::handles(const QString &extension)
{
    static const QStringList wordFamily{"doc", "docx", "odt", "rtf"};
    return wordFamily.contains(extension.toLower());
}

QString LibreOfficeComparer::resultPath(const Versions &versions)
{
    const QString base = QFileInfo(safeFileName(versions.fileName)).completeBaseName();
    const QString name = QStringLiteral("%1_版本%2与版本%3对比.%4")
                             .arg(base)
                             .arg(versions.olderVersion)
                             .arg(versions.newerVersion)
                             .arg(versions.extension);
    return QDir(GCore::versionCacheDir()).filePath(safeFileName(name));
}

void LibreOfficeComparer::compare(const Versions &versions, QWidget *)
{
    const QString script = LibreOffice::comparisonScript();
    if (script.isEmpty()) {
        emit finished(false, QStringLiteral("无法准备对比脚本"));
        return;
    }
    result = resultPath(versions);
    // An earlier result of the same pair may still be open in a program:
    // the new one then takes a free name beside it.
    if (QFileInfo::exists(result) && !QFile::remove(result))
        result = GCore::uniqueFilePath(result);
    process = new QProcess(this);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &LibreOfficeComparer::processEnded);
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            processEnded();
    });
    process->start(LibreOffice::pythonPath(),
                   {script, QStringLiteral("--soffice"), LibreOffice::sofficePath(),
                    QStringLiteral("--profile"), LibreOffice::profileDir(QStringLiteral("compare")),
                    QStringLiteral("--older"), versions.olderPath, QStringLiteral("--newer"),
                    versions.newerPath, QStringLiteral("--out"), result});
}

void LibreOfficeComparer::processEnded()
{
    if (!process)
        return;
    const bool ok = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0 &&
                    QFileInfo(result).isFile();
    const QString reason = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
    process->deleteLater();
    process = nullptr;
    if (!ok) {
        qDebug() << __FILE__ << __LINE__ << "LibreOffice comparison failed:" << reason;
        emit finished(false, QStringLiteral("LibreOffice 对比失败：%1")
                                 .arg(reason.isEmpty() ? QStringLiteral("未知原因")
                                                       : reason.section(QLatin1Char('\n'), -1)));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(result))) {
        emit finished(
            false,
            QStringLiteral("对比结果已保存，但无法打开：%1").arg(QDir::toNativeSeparators(result)));
        return;
    }
    emit finished(true, QString());
}
