#include "widgets/dtrustcertificate.h"

#include "widgets/dialogstyle.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString dateText(const QDateTime &when)
{
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("-");
}

QLabel *plainLabel(const QString &text, QWidget *parent, const char *name = nullptr)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (name)
        label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

DTrustCertificate::DTrustCertificate(const CertificateInfo &info, QWidget *parent)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true)
{
    const bool changed = !info.previousFingerprint.isEmpty();
    resize(560, changed ? 420 : 380);
    initTitleBar();
    titleLabel->setText(QStringLiteral("证书不受信任"));
    setWindowTitle(QStringLiteral("证书不受信任"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(8);

    QLabel *intro = plainLabel(
        changed ? QStringLiteral("服务器 %1 出示的证书与此前信任的证书不同。"
                                 "在您决定之前，不会向它发送任何内容。")
                      .arg(info.server)
                : QStringLiteral("无法验证服务器 %1 的证书。在您决定之前，不会向它发送任何内容。")
                      .arg(info.server),
        body, "introLabel");
    intro->setStyleSheet(QStringLiteral("font-weight:bold;color:#a00;"));
    layout->addWidget(intro);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    int row = 0;
    const auto addRow = [&](const QString &caption, const QString &value, const char *name) {
        grid->addWidget(DialogStyle::makeCaption(caption, 90, Qt::AlignRight | Qt::AlignTop, body),
                        row, 0);
        grid->addWidget(plainLabel(value, body, name), row, 1);
        ++row;
    };
    addRow(QStringLiteral("服务器:"), info.server, "serverLabel");
    addRow(QStringLiteral("原因:"), info.reasons.join(QStringLiteral("；")), "reasonLabel");
    addRow(QStringLiteral("颁发给:"), info.subject, "subjectLabel");
    addRow(QStringLiteral("颁发者:"), info.issuer, "issuerLabel");
    addRow(QStringLiteral("有效期:"),
           QStringLiteral("%1 至 %2").arg(dateText(info.notBefore), dateText(info.notAfter)),
           "validityLabel");
    if (changed) {
        addRow(QStringLiteral("原指纹 (SHA-256):"), info.previousFingerprint,
               "previousFingerprintLabel");
        addRow(QStringLiteral("新指纹 (SHA-256):"), info.fingerprint, "fingerprintLabel");
    } else {
        addRow(QStringLiteral("指纹 (SHA-256):"), info.fingerprint, "fingerprintLabel");
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton *trust = DialogStyle::makeButton(QStringLiteral("信任此证书"), body);
    trust->setObjectName(QStringLiteral("trustButton"));
    QPushButton *cancel = DialogStyle::makeButton(QStringLiteral("取消"), body);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    trust->setFixedSize(96, 26);
    cancel->setFixedSize(64, 26);
    buttons->addWidget(trust);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(trust, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Trusting is a decision, never what Return does by accident.
    cancel->setFocus();
}

bool DTrustCertificate::askUser(const CertificateInfo &info)
{
    DTrustCertificate dialog(info);
    dialog.setWindowModality(Qt::ApplicationModal);
    return dialog.exec() == QDialog::Accepted;
}
