#include "transfer/compare/comparethread.h"

#include "transfer/compare/documenttext.h"
#include "transfer/compare/libreoffice.h"

#include <QTemporaryDir>

CompareThread::CompareThread(const VersionComparer::Versions &versions, QObject *parent)
    : QThread(parent), m_versions(versions)
{
}

void CompareThread::run()
{
    m_result = run(m_versions, &m_stop);
}

CompareThread::Result CompareThread::run(const VersionComparer::Versions &versions,
                                         const std::atomic<bool> *stop)
{
    Result result;
    QString olderPath = versions.olderPath;
    QString newerPath = versions.newerPath;
    QString format = versions.extension;
    QTemporaryDir converted;
    if (!DocumentText::readsDirectly(format)) {
        const QString target = DocumentText::conversionTarget(format);
        if (target.isEmpty()) {
            result.error = QStringLiteral("不支持对比此格式的文件");
            return result;
        }
        if (LibreOffice::sofficePath().isEmpty()) {
            result.error = QStringLiteral("对比 %1 格式的文件需要安装 LibreOffice").arg(format);
            return result;
        }
        // Both versions in one run of LibreOffice.
        const QStringList out =
            LibreOffice::convert({olderPath, newerPath}, target, converted.path(), &result.error);
        if (out.size() != 2)
            return result;
        olderPath = out.at(0);
        newerPath = out.at(1);
        format = target;
    }
    auto stopped = [stop] { return stop && stop->load(); };
    if (stopped() || !DocumentText::read(olderPath, format, &result.older, &result.error))
        return result;
    if (stopped() || !DocumentText::read(newerPath, format, &result.newer, &result.error))
        return result;
    if (stopped())
        return result;
    result.rows = TextDiff::compare(result.older, result.newer);
    result.ok = true;
    return result;
}
