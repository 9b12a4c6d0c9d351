#pragma once

#include "core/transportsettings.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QWaitCondition>

// Where a transport call whose server showed an unverifiable certificate
// waits for the user's decision. Core has no widgets: the gate emits
// `trustRequested` on the interface thread and whoever shows the dialog
// answers with `answer`. However many calls meet the same certificate at once,
// the user is asked once and they all wait for that answer; different
// questions are asked one after another, never two dialogs at a time. A
// refusal holds until the next sign-in (`resetRefusals`), so the calls that
// follow fail at once instead of asking again.
class TrustGate : public QObject
{
    Q_OBJECT
public:
    static TrustGate *instance();

    // Blocks the calling thread until the user decides; true when the
    // certificate is trusted (its pin is in the transport's settings by then).
    // On the interface thread it waits in a local event loop, so the dialog
    // can still be shown. False at once when nothing shows dialogs, when the
    // same certificate was refused since the last sign-in, or while the
    // program is quitting.
    bool ask(const CertificateInfo &info);

    // The user's decision (interface thread).
    void answer(const CertificateInfo &info, bool trusted);

    // Forgets the refusals: called when the user signs in again.
    void resetRefusals();
    // Refuses every open and future question (the program is ending).
    void shutDown();

signals:
    // Emitted on the interface thread, one question at a time.
    void trustRequested(const CertificateInfo &info);
    // After every answer; lets a waiting interface thread leave its loop.
    void answered();

private:
    TrustGate();
    void showNext();

    struct Question
    {
        bool decided = false;
        bool trusted = false;
        int waiting = 0;
    };

    QMutex mutex;
    QWaitCondition decided;
    QHash<QString, Question> questions;
    QList<CertificateInfo> queue;
    QSet<QString> refused;
    bool showing = false;
    bool ending = false;
};
