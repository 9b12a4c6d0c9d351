#pragma once

#include "transfer/compare/versioncomparer.h"

#include <QPointer>

class QProcess;

// Compares Word-family documents (doc, docx, odt, rtf) with LibreOffice's own
// document comparison, run headless by the comparison script: the result is
// the newer version with every difference from the older one as a tracked
// change, saved into the version cache and opened with the desktop's program
// for the format, as Word would show its comparison.
class LibreOfficeComparer : public VersionComparer
{
    Q_OBJECT
public:
    explicit LibreOfficeComparer(QObject *parent = nullptr);
    // Stops a comparison still running, LibreOffice included.
    ~LibreOfficeComparer() override;

    static bool handles(const QString &extension);
    // Where the result of comparing these versions goes.
    static QString resultPath(const Versions &versions);

    void compare(const Versions &versions, QWidget *window) override;
    QString backendName() const override { return QStringLiteral("LibreOffice"); }

private:
    void processEnded();

    QPointer<QProcess> process;
    QString result;
};
