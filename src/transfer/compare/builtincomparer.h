#pragma once

#include "transfer/compare/versioncomparer.h"

#include <QPointer>

class CompareThread;

// The comparison that works everywhere: reads the text of both versions and
// compares it paragraph by paragraph on a worker, then opens a comparison
// window (a child of the dialog that asked) with the two side by side.
class BuiltinComparer : public VersionComparer
{
    Q_OBJECT
public:
    explicit BuiltinComparer(QObject *parent = nullptr);
    // Stops a comparison still running and waits for its worker.
    ~BuiltinComparer() override;

    void compare(const Versions &versions, QWidget *window) override;
    QString backendName() const override { return QStringLiteral("built-in"); }

private:
    void compared();

    QPointer<CompareThread> m_thread;
    QPointer<QWidget> m_owner;
    Versions m_versions;
};
