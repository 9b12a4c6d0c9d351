#include "transfer/compare/libreoffice.h"

#include "core/gcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

// The script lives in a resource of the static client library; this pulls it in.
static void initComparisonScript()
{
    Q_INIT_RESOURCE(comparedocuments);
}

namespace {

constexpr int kProbeTimeoutMs = 10000;
constexpr int kConvertTimeoutMs = 300000;

bool importsUno(const QString &python)
{
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import uno")});
    return probe.waitForFinished(kProbeTimeoutMs) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

QString findPython()
{
    QStringList candidates;
    // LibreOffice's own Python where it brings one (beside the real program).
    const QString soffice = LibreOffice::sofficePath();
    if (!soffice.isEmpty()) {
        const QString programDir = QFileInfo(QFileInfo(soffice).canonicalFilePath()).absolutePath();
        candidates << programDir + QStringLiteral("/python");
    }
    candidates << QStandardPaths::findExecutable(QStringLiteral("python3"))
               << QStringLiteral("/usr/bin/python3");
    for (const QString &candidate : qAsConst(candidates)) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isExecutable() && importsUno(candidate))
            return candidate;
    }
    return QString();
}

} // namespace

QString LibreOffice::sofficePath()
{
    static const QString path = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    return path;
}

QString LibreOffice::pythonPath()
{
    static const QString path = sofficePath().isEmpty() ? QString() : findPython();
    return path;
}

bool LibreOffice::isAvailable()
{
    return !sofficePath().isEmpty() && !pythonPath().isEmpty();
}

QString LibreOffice::profileDir(const QString &name)
{
    const QString dir = GCore::cacheDir() + QStringLiteral("/libreoffice/") + name;
    QDir().mkpath(dir);
    return dir;
}

QStringList LibreOffice::convert(const QStringList &paths, const QString &format,
                                 const QString &outDir, QString *error)
{
    if (sofficePath().isEmpty()) {
        *error = QStringLiteral("此格式需要安装 LibreOffice 才能对比");
        return {};
    }
    QStringList arguments{QStringLiteral("--headless"),
                          QStringLiteral("--norestore"),
                          QStringLiteral("-env:UserInstallation=") +
                              QUrl::fromLocalFile(profileDir(QStringLiteral("convert"))).toString(),
                          QStringLiteral("--convert-to"),
                          format,
                          QStringLiteral("--outdir"),
                          outDir};
    arguments << paths;
    QProcess office;
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(sofficePath(), arguments);
    if (!office.waitForFinished(kConvertTimeoutMs)) {
        office.kill();
        office.waitForFinished();
        *error = QStringLiteral("LibreOffice 转换文件超时");
        return {};
    }
    QStringList converted;
    for (const QString &path : paths) {
        const QString out =
            QDir(outDir).filePath(QFileInfo(path).completeBaseName() + QLatin1Char('.') + format);
        if (!QFileInfo(out).isFile()) {
            *error = QStringLiteral("LibreOffice 无法转换文件：%1")
                         .arg(QString::fromLocal8Bit(office.readAll()).trimmed().left(200));
            return {};
        }
        converted << out;
    }
    return converted;
}

QString LibreOffice::comparisonScript()
{
    initComparisonScript();
    QFile source(QStringLiteral(":/compare/comparedocuments.py"));
    if (!source.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray text = source.readAll();
    const QString path = profileDir(QString()) + QStringLiteral("comparedocuments.py");
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == text)
        return path;
    current.close();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return QString();
    return path;
}
