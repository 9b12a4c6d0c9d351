#pragma once

#include "core/transportsettings.h"
#include "widgets/framelessdialog.h"

// "证书不受信任": shows a server's certificate that failed verification (why,
// subject, issuer, validity, SHA-256 fingerprint; beside the fingerprint
// trusted before when the server's certificate changed) and lets the user
// trust it or cancel. Everything shown comes from the server: plain text.
class DTrustCertificate : public FramelessDialog
{
    Q_OBJECT
public:
    explicit DTrustCertificate(const CertificateInfo &info, QWidget *parent = nullptr);

    // Shows the dialog for `info` and returns whether the user trusts it.
    static bool askUser(const CertificateInfo &info);
};
