#include "app/dlogin.h"

#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "core/passwordstore.h"
#include "core/transportsettings.h"
#include "core/trustgate.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"
#include "widgets/tpushbutton.h"
#include "widgets/tradiuswidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const loginButtonText = "登 录";
const char *const serverErrorText = "登录错误：服务器异常";

const int requestDelayMs = 50;     // lets the busy state paint before the request goes out
const int restoreDelayMs = 500;    // a failed sign-in gives the form back after this
const int autoLoginDelayMs = 2000; // the automatic sign-in waits this long for a cancel
const int loginTimeoutSeconds = 3;

// No "color" rule: the text takes the palette's colour, and a colour here
// would paint the placeholders as dark as typed text.
const char *const editStyle = ".QLineEdit {font-size:10pt;border:1px solid #ccc;border-radius:6px;}"
                              ".QLineEdit:disabled {font-size:10pt;color:#888;}";
// The application style sheet gives every line edit a small minimum height,
// and a style-sheet minimum replaces the one setFixedSize set; this puts the
// 36 pixels back (34 inside the 1-pixel border, no vertical padding).
const char *const editHeight = "min-height:34px;padding:0px 4px;";

} // namespace

DLogin::DLogin(const QBrush &titleBrush, QWidget *parent)
    : FramelessDialog(parent, titleBrush, true)
{
    resize(676, 456);
    setWindowIcon(QIcon(QStringLiteral(":/images/main/256.png")));
    buildTitleArea();
    loginPanel = buildLoginPanel();
    settingsPanel = buildSettingsPanel();
    addContentWidget(loginPanel);
    addContentWidget(settingsPanel);
    settingsPanel->hide();
    installEventFilter(this);

    GCore *core = GCore::instance();
    const QVariantMap settings = core->readSettings();
    const QString username = settings.value(QStringLiteral("username")).toString();
    const bool remember = settings.value(QStringLiteral("remember")).toBool();
    const bool autoLogin = settings.value(QStringLiteral("autoLogin")).toBool();
    usernameEdit->setText(username);
    // A password still enciphered in the file (an earlier version, or no
    // keyring here) is used as before and moved into the keyring.
    const QString stored = PasswordStore::fromSettings(settings);
    if (!stored.isEmpty() && !username.isEmpty())
        PasswordStore::migrate(username, core->serverUrl(), settings);
    if (stored.isEmpty() && remember && !username.isEmpty()) {
        rememberBox->setChecked(true);
        auto *passwordStore = new PasswordStore(this);
        connect(passwordStore, &PasswordStore::recalled, this,
                [this, autoLogin](const QString &account, const QString &password) {
                    // A late answer leaves alone what the user changed meanwhile.
                    if (password.isEmpty() || busy || usernameEdit->text() != account ||
                        !passwordEdit->text().isEmpty() || !rememberBox->isChecked())
                        return;
                    passwordEdit->setText(password);
                    if (autoLogin)
                        scheduleAutoLogin();
                });
        passwordStore->recall(username, core->serverUrl());
    } else {
        if (remember) {
            passwordEdit->setText(stored);
            rememberBox->setChecked(true);
        }
        if (autoLogin && !username.isEmpty() && !stored.isEmpty())
            scheduleAutoLogin();
    }
    recallProxyPassword(settings);
    loginButton->setFocus();
}

void DLogin::recallProxyPassword(const QVariantMap &settings)
{
    const ProxyChoice proxy = ProxyChoice::fromSettings(settings);
    if (proxy.kind < ProxyChoice::Http || proxy.user.isEmpty())
        return;
    proxyPassword = PasswordStore::fromSettings(settings, PasswordStore::Proxy);
    if (!proxyPassword.isEmpty())
        return;
    auto *store = new PasswordStore(this);
    connect(store, &PasswordStore::recalled, this,
            [this](const QString &, const QString &password) {
                // A password typed meanwhile in the settings wins.
                if (proxyPassword.isEmpty())
                    proxyPassword = password;
            });
    store->recall(proxy.user, proxy.keyringServer());
}

void DLogin::scheduleAutoLogin()
{
    autoLoginBox->setChecked(true);
    autoLoginPending = true;
    setInputsEnabled(false);
    loginButton->setText(QStringLiteral("取消"));
    loginButton->setEnabled(true);
    showError(QStringLiteral("自动登录中..."), 0);
    // Precise: a coarse timer may fire up to 5% early.
    QTimer::singleShot(autoLoginDelayMs, Qt::PreciseTimer, this, [this]() {
        if (autoLoginPending)
            startLogin(false);
    });
}

QBrush DLogin::defaultTitleBrush()
{
    const QPixmap picture(QStringLiteral(":/images/main/login_bg2.png"));
    if (picture.isNull())
        return QBrush(QColor(QString::fromLatin1(DialogStyle::titleColor)));
    return QBrush(picture);
}

void DLogin::buildTitleArea()
{
    titleBar->setFixedHeight(190);
    auto *column = new QVBoxLayout(titleBar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(8, 0, 0, 0);
    row->setSpacing(0);
    column->addLayout(row);
    column->addStretch();

    titleLabel->setFixedHeight(28);
    row->addWidget(titleLabel);
    row->addStretch();

    auto titleButton = [this, row](const char *name, const char *normal, const char *hover) {
        auto *button = new TPushButton(titleBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setFixedSize(28, 28);
        button->setStyleSheet(
            TPushButton::titleButtonStyle(QString::fromLatin1(normal), QString::fromLatin1(hover)));
        row->addWidget(button);
        return button;
    };
    settingsButton =
        titleButton("settingsButton", "triangle_transparent.png", "triangle_halftransparent.png");
    minimizeButton = titleButton("minimizeButton", "minimize_transparent_h.png",
                                 "minimize_halftransparent_h.png");
    closeButton = titleButton("closeButton", "del_transparent_h.png", "del_red_h.png");

    connect(closeButton, &QPushButton::clicked, this, &DLogin::closeApp);
    connect(minimizeButton, &QPushButton::clicked, this, &DLogin::minimizeApp);
    connect(settingsButton, &QPushButton::clicked, this, &DLogin::showSettingPanel);
}

QWidget *DLogin::buildLoginPanel()
{
    auto *panel = new QWidget(contentWidget);
    panel->setObjectName(QStringLiteral("container"));
    panel->setStyleSheet(QStringLiteral("QWidget#container {background:#fff;}"));
    panel->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(205, 20, 0, 0);
    layout->setSpacing(8);

    auto *heading = new QLabel(QStringLiteral("账号登录"), panel);
    heading->setStyleSheet(QStringLiteral("font-size:11pt;font-weight:bold;color:#666;"));
    layout->addWidget(heading);

    usernameEdit = new QLineEdit(panel);
    usernameEdit->setObjectName(QStringLiteral("usernameEdit"));
    usernameEdit->setPlaceholderText(QStringLiteral("账号"));
    passwordEdit = new QLineEdit(panel);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setPlaceholderText(QStringLiteral("密码"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    for (QLineEdit *edit : {usernameEdit, passwordEdit}) {
        edit->setFixedSize(250, 36);
        edit->setStyleSheet(QString::fromUtf8(editStyle) +
                            QStringLiteral(".QLineEdit {%1}").arg(QLatin1String(editHeight)));
        layout->addWidget(edit);
    }

    auto *boxes = new QHBoxLayout;
    boxes->setContentsMargins(0, 0, 0, 0);
    boxes->setSpacing(0);
    rememberBox = new QCheckBox(QStringLiteral("记住密码"), panel);
    rememberBox->setObjectName(QStringLiteral("rememberBox"));
    rememberBox->setFixedWidth(184);
    autoLoginBox = new QCheckBox(QStringLiteral("自动登录"), panel);
    autoLoginBox->setObjectName(QStringLiteral("autoLoginBox"));
    for (QCheckBox *box : {rememberBox, autoLoginBox}) {
        box->setStyleSheet(QStringLiteral("color:#666;"));
        boxes->addWidget(box);
    }
    boxes->addStretch();
    layout->addLayout(boxes);

    plainHttpWarning =
        new QLabel(QStringLiteral("注意：服务器地址使用 HTTP，密码将以明文在网络中传输。"), panel);
    plainHttpWarning->setObjectName(QStringLiteral("plainHttpWarning"));
    plainHttpWarning->setTextFormat(Qt::PlainText);
    plainHttpWarning->setWordWrap(true);
    plainHttpWarning->setFixedWidth(250);
    plainHttpWarning->setStyleSheet(QStringLiteral("color:#c60;"));
    layout->addWidget(plainHttpWarning);
    updatePlainHttpWarning();

    auto *buttonColumn = new QVBoxLayout;
    buttonColumn->setContentsMargins(0, 0, 0, 0);
    buttonColumn->setSpacing(11);
    loginButton = new QPushButton(QString::fromUtf8(loginButtonText), panel);
    loginButton->setObjectName(QStringLiteral("loginButton"));
    loginButton->setFixedSize(250, 36);
    loginButton->setStyleSheet(DialogStyle::buttonStyle(12, 6));
    loginButton->setCursor(Qt::PointingHandCursor);
    // Return is handled by the dialog's own key filter, not as a default button.
    loginButton->setAutoDefault(false);
    buttonColumn->addWidget(loginButton);

    errorLabel = new MessageLabel(panel);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    errorLabel->setFixedWidth(250);
    errorLabel->setAlignment(Qt::AlignCenter);
    errorLabel->setStyleSheet(
        QStringLiteral(".QLabel {font-weight:bold;color:#a00;text-indent:8px;}"));
    buttonColumn->addWidget(errorLabel);

    footerLabel =
        new QLabel(QStringLiteral("Folvane 文档管理系统\n由 Folvane 团队提供服务"), panel);
    footerLabel->setObjectName(QStringLiteral("footerLabel"));
    footerLabel->setFixedWidth(250);
    footerLabel->setAlignment(Qt::AlignCenter);
    footerLabel->setStyleSheet(QStringLiteral("color:#888;"));
    buttonColumn->addWidget(footerLabel);
    errorLabel->setClearedHandler([this]() { footerLabel->show(); });

    layout->addLayout(buttonColumn);
    layout->addStretch();

    connect(loginButton, &QPushButton::clicked, this, &DLogin::login);
    return panel;
}

QWidget *DLogin::buildSettingsPanel()
{
    auto *panel = new QWidget(contentWidget);
    panel->setObjectName(QStringLiteral("container"));
    panel->setStyleSheet(QStringLiteral("QWidget#container {background:#fff;}"));
    panel->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(195, 12, 0, 8);
    layout->setSpacing(8);

    auto *heading = new QLabel(QStringLiteral("网络设置"), panel);
    heading->setStyleSheet(QStringLiteral("font-size:11pt;font-weight:bold;color:#666;"));
    layout->addWidget(heading);

    // The fields scroll above the buttons: the address and port, then the
    // CA file and the proxy, which most users never change.
    auto *scroll = new QScrollArea(panel);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedWidth(300);
    auto *fields = new QWidget(scroll);
    fields->setObjectName(QStringLiteral("container"));
    fields->setStyleSheet(QStringLiteral("QWidget#container {background:#fff;}"));
    auto *column = new QVBoxLayout(fields);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    scroll->setWidget(fields);
    layout->addWidget(scroll, 1);

    const QString fieldStyle =
        QStringLiteral(".QLineEdit {font-size:10pt;border:1px solid #ccc;"
                       "border-radius:6px;%1}")
            .arg(QLatin1String(editHeight));
    const auto makeEdit = [&](const char *name, const QString &placeholder, int width, int height) {
        auto *edit = new QLineEdit(fields);
        edit->setObjectName(QLatin1String(name));
        edit->setPlaceholderText(placeholder);
        edit->setFixedSize(width, height);
        edit->setStyleSheet(height == 36 ? fieldStyle
                                         : QStringLiteral(".QLineEdit {font-size:9pt;"
                                                          "border:1px solid #ccc;"
                                                          "border-radius:4px;padding:0px 4px;}"));
        return edit;
    };
    hostEdit = makeEdit("hostEdit", QStringLiteral("服务器地址"), 270, 36);
    hostEdit->setToolTip(QStringLiteral("https://主机名、http://主机名或主机名（HTTP）"));
    portEdit = makeEdit("portEdit", QStringLiteral("服务器端口"), 270, 36);
    portEdit->setValidator(new QIntValidator(0, 99999, portEdit));
    column->addWidget(hostEdit);
    column->addWidget(portEdit);

    auto *caRow = new QHBoxLayout;
    caRow->setSpacing(6);
    caFileEdit =
        makeEdit("caFileEdit", QStringLiteral("证书颁发机构（PEM 文件，可不填）"), 236, 28);
    auto *browse = new QPushButton(QStringLiteral("..."), fields);
    browse->setObjectName(QStringLiteral("caFileButton"));
    browse->setFixedSize(28, 28);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this]() {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("证书颁发机构"), caFileEdit->text(),
                                         QStringLiteral("PEM (*.pem *.crt *.cer);;* (*)"));
        if (!file.isEmpty())
            caFileEdit->setText(file);
    });
    caRow->addWidget(caFileEdit);
    caRow->addWidget(browse);
    caRow->addStretch();
    column->addLayout(caRow);

    proxyBox = new QComboBox(fields);
    proxyBox->setObjectName(QStringLiteral("proxyBox"));
    proxyBox->addItems({QStringLiteral("系统代理"), QStringLiteral("不使用代理"),
                        QStringLiteral("HTTP 代理"), QStringLiteral("SOCKS5 代理")});
    proxyBox->setFixedSize(270, 28);
    column->addWidget(proxyBox);
    auto *proxyGrid = new QGridLayout;
    proxyGrid->setSpacing(6);
    proxyHostEdit = makeEdit("proxyHostEdit", QStringLiteral("代理地址"), 176, 28);
    proxyPortEdit = makeEdit("proxyPortEdit", QStringLiteral("代理端口"), 88, 28);
    proxyPortEdit->setValidator(new QIntValidator(0, 65535, proxyPortEdit));
    proxyUserEdit = makeEdit("proxyUserEdit", QStringLiteral("代理用户名（可不填）"), 132, 28);
    proxyPasswordEdit = makeEdit("proxyPasswordEdit", QStringLiteral("代理密码"), 132, 28);
    proxyPasswordEdit->setEchoMode(QLineEdit::Password);
    proxyGrid->addWidget(proxyHostEdit, 0, 0);
    proxyGrid->addWidget(proxyPortEdit, 0, 1);
    proxyGrid->addWidget(proxyUserEdit, 1, 0);
    proxyGrid->addWidget(proxyPasswordEdit, 1, 1);
    proxyGrid->setColumnStretch(2, 1);
    column->addLayout(proxyGrid);
    column->addStretch();
    connect(proxyBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        for (QLineEdit *edit : {proxyHostEdit, proxyPortEdit, proxyUserEdit, proxyPasswordEdit})
            edit->setEnabled(index >= ProxyChoice::Http);
    });

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 195, 0);
    row->setSpacing(10);
    settingsMessage = new MessageLabel(panel);
    settingsMessage->setObjectName(QStringLiteral("settingsMessage"));
    settingsMessage->setStyleSheet(QStringLiteral(".QLabel {font-weight:bold;color:#a00;}"));
    settingsMessage->setProperty("autoLogin", false);
    row->addWidget(settingsMessage);
    row->addStretch();

    QPushButton *save = DialogStyle::makeButton(QStringLiteral("确定"), panel, 11);
    save->setObjectName(QStringLiteral("saveSettingsButton"));
    QPushButton *cancel = DialogStyle::makeButton(QStringLiteral("取消"), panel, 11);
    cancel->setObjectName(QStringLiteral("cancelSettingsButton"));
    for (QPushButton *button : {save, cancel}) {
        button->setFixedSize(64, 30);
        button->setAutoDefault(false);
        row->addWidget(button);
    }
    layout->addLayout(row);

    connect(save, &QPushButton::clicked, this, &DLogin::slotSettingData);
    connect(cancel, &QPushButton::clicked, this, &DLogin::showLoginPanel);
    return panel;
}

bool DLogin::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (loginButton->isVisibleTo(this))
                startLogin(true);
            return true;
        }
    }
    return FramelessDialog::eventFilter(watched, event);
}

void DLogin::login()
{
    if (autoLoginPending && sender() && !busy) {
        cancelAutoLogin();
        return;
    }
    startLogin(sender() != nullptr);
}

void DLogin::cancelAutoLogin()
{
    autoLoginPending = false;
    loginButton->setText(QString::fromUtf8(loginButtonText));
    errorLabel->clearMessage();
    setInputsEnabled(true);
}

void DLogin::startLogin(bool manual)
{
    if (busy)
        return;
    const QString username = usernameEdit->text().trimmed();
    const QString password = passwordEdit->text().trimmed();
    if (username.isEmpty()) {
        showError(QStringLiteral("登录错误：请填写账号"), MessageLabel::defaultTimeoutMs);
        return;
    }
    if (password.isEmpty()) {
        showError(QStringLiteral("登录错误：请填写密码"), MessageLabel::defaultTimeoutMs);
        return;
    }
    if (GCore::instance()->serverUrl().isEmpty()) {
        showSettingPanel();
        settingsMessage->showMessage(QStringLiteral("请填写服务器参数"));
        settingsMessage->setProperty("autoLogin", true);
        return;
    }

    busy = true;
    if (manual)
        loginButton->setText(QStringLiteral("登录中..."));
    setInputsEnabled(false);
    loginButton->setEnabled(false);
    QTimer::singleShot(requestDelayMs, this,
                       [this, username, password]() { sendLogin(username, password); });
}

void DLogin::updatePlainHttpWarning()
{
    // Over plain HTTP to another machine the password can be read on the way.
    const ServerAddress server = ServerAddress::fromSettings(GCore::instance()->readSettings());
    plainHttpWarning->setVisible(server.isValid() && !server.isHttps() && !server.isLoopback());
}

void DLogin::sendLogin(const QString &username, const QString &password)
{
    GCore *core = GCore::instance();
    // A new sign-in: certificates refused before may be asked about again,
    // and the proxy (the system's may have changed) is looked up anew.
    TrustGate::instance()->resetRefusals();
    core->applyTransportSettings(proxyPassword);
    const QString base = core->serverUrl();
    const QPair<QString, QString> local = core->localMacAndIp();
    FormParams params;
    params.insert(QStringLiteral("username"), username);
    params.insert(QStringLiteral("password"), password);
    params.insert(QStringLiteral("mac"), local.first);
    params.insert(QStringLiteral("ip"), local.second);
    // The dialog stays busy (its inputs disabled) until the answer.
    HttpThread::post(
        QStringLiteral("%1/api/user/login.jf").arg(base), params, this,
        [this, username, password, base](const QVariantMap &reply) {
            loginReplied(username, password, base, reply);
        },
        loginTimeoutSeconds);
}

void DLogin::loginReplied(const QString &username, const QString &password, const QString &base,
                          const QVariantMap &reply)
{
    GCore *core = GCore::instance();
    if (reply.isEmpty()) {
        failLogin(QStringLiteral("登录错误：无法连接服务器"));
        return;
    }
    if (!reply.contains(QStringLiteral("code"))) {
        failLogin(QString::fromUtf8(serverErrorText));
        return;
    }
    bool numeric = false;
    const int code = reply.value(QStringLiteral("code")).toInt(&numeric);
    if (!numeric || code != 0) {
        const QString msg = reply.value(QStringLiteral("msg")).toString().trimmed();
        failLogin(msg.isEmpty() ? QString::fromUtf8(serverErrorText)
                                : QStringLiteral("登录错误：%1").arg(msg));
        return;
    }
    // A reply without a proper user object or token string is the server's
    // fault, not a reason to crash or to sign in half-way.
    const QVariant data = reply.value(QStringLiteral("data"));
    if (data.userType() != QMetaType::QVariantMap) {
        failLogin(QString::fromUtf8(serverErrorText));
        return;
    }
    const QVariantMap user = data.toMap();
    const QVariant tokenValue = user.value(QStringLiteral("token"));
    const QString token =
        tokenValue.userType() == QMetaType::QString ? tokenValue.toString().trimmed() : QString();
    if (token.isEmpty()) {
        failLogin(QString::fromUtf8(serverErrorText));
        return;
    }

    QVariantMap settings = core->readSettings();
    settings.insert(QStringLiteral("username"), username);
    // The keyring keeps the password; without one the store puts it back
    // into "pwd", enciphered.
    settings.insert(QStringLiteral("pwd"), QString());
    settings.insert(QStringLiteral("remember"), rememberBox->isChecked());
    settings.insert(QStringLiteral("autoLogin"), autoLoginBox->isChecked());
    core->writeSettings(settings);
    if (rememberBox->isChecked())
        PasswordStore::remember(username, base, password);
    else
        PasswordStore::forget(username, base);
    core->setToken(token);
    core->setUserInfo(user);

    FormParams prefetch;
    prefetch.insert(QStringLiteral("token"), token);
    auto *worker = new HttpThread(base + QStringLiteral("/api/file/list-dir.jf"), prefetch);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &HttpThread::receiveJson, this, &DLogin::receiveData);
    worker->start();
}

void DLogin::receiveData(QVariantMap rawData)
{
    HttpCurl::logJson(rawData, __FILE__, __LINE__);
    if (!rawData.contains(QStringLiteral("code")) ||
        rawData.value(QStringLiteral("code")).toString() != QLatin1String("0")) {
        failLogin(QString::fromUtf8(serverErrorText));
        return;
    }
    qDebug() << __FILE__ << __LINE__
             << "root folders:" << rawData.value(QStringLiteral("data")).toList().size();
    GCore::instance()->mergeCompanyRootList(rawData, false);
    accept();
}

void DLogin::showError(const QString &text, int timeoutMs)
{
    footerLabel->hide();
    errorLabel->showMessage(text, timeoutMs);
}

void DLogin::failLogin(const QString &text)
{
    showError(text, MessageLabel::defaultTimeoutMs);
    autoLoginPending = false;
    QTimer::singleShot(restoreDelayMs, this, [this]() { restoreForm(); });
}

void DLogin::restoreForm()
{
    busy = false;
    loginButton->setText(QString::fromUtf8(loginButtonText));
    loginButton->setEnabled(true);
    setInputsEnabled(true);
}

void DLogin::setInputsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{usernameEdit, passwordEdit, rememberBox,
                                                       autoLoginBox, settingsButton})
        w->setEnabled(enabled);
}

void DLogin::showSettingPanel()
{
    loginPanel->hide();
    settingsButton->hide();
    settingsPanel->show();
    settingsMessage->clearMessage();
    settingsMessage->setProperty("autoLogin", false);
    const QVariantMap settings = GCore::instance()->readSettings();
    hostEdit->setText(settings.value(QStringLiteral("host")).toString());
    portEdit->setText(settings.value(QStringLiteral("port")).toString());
    caFileEdit->setText(settings.value(QStringLiteral("caFile")).toString());
    const ProxyChoice proxy = ProxyChoice::fromSettings(settings);
    proxyBox->setCurrentIndex(int(proxy.kind));
    for (QLineEdit *edit : {proxyHostEdit, proxyPortEdit, proxyUserEdit, proxyPasswordEdit})
        edit->setEnabled(proxy.kind >= ProxyChoice::Http);
    proxyHostEdit->setText(proxy.host);
    proxyPortEdit->setText(proxy.port);
    proxyUserEdit->setText(proxy.user);
    proxyPasswordEdit->setText(proxyPassword);
}

void DLogin::slotSettingData()
{
    const QString host = hostEdit->text().trimmed();
    const QString port = portEdit->text().trimmed();
    if (host.isEmpty()) {
        settingsMessage->showMessage(QStringLiteral("请填写服务器地址"));
        return;
    }
    if (port.isEmpty()) {
        settingsMessage->showMessage(QStringLiteral("请填写服务器端口"));
        return;
    }
    ProxyChoice proxy;
    proxy.kind = ProxyChoice::Kind(proxyBox->currentIndex());
    proxy.host = proxyHostEdit->text().trimmed();
    proxy.port = proxyPortEdit->text().trimmed();
    proxy.user = proxyUserEdit->text().trimmed();
    if (proxy.kind >= ProxyChoice::Http && proxy.host.isEmpty()) {
        settingsMessage->showMessage(QStringLiteral("请填写代理地址"));
        return;
    }
    if (proxy.kind >= ProxyChoice::Http && proxy.port.isEmpty()) {
        settingsMessage->showMessage(QStringLiteral("请填写代理端口"));
        return;
    }
    GCore *core = GCore::instance();
    QVariantMap settings = core->readSettings();
    settings.insert(QStringLiteral("host"), host);
    settings.insert(QStringLiteral("port"), port);
    settings.insert(QStringLiteral("caFile"), caFileEdit->text().trimmed());
    proxy.toSettings(settings);
    // The proxy password goes to the keyring; without one the store puts it
    // back here, enciphered.
    settings.insert(QStringLiteral("proxyPwd"), QString());
    core->writeSettings(settings);
    const bool manual = proxy.kind >= ProxyChoice::Http && !proxy.user.isEmpty();
    proxyPassword = manual ? proxyPasswordEdit->text() : QString();
    if (manual && !proxyPassword.isEmpty())
        PasswordStore::remember(proxy.user, proxy.keyringServer(), proxyPassword,
                                PasswordStore::Proxy);
    updatePlainHttpWarning();
    showLoginPanel();
    if (settingsMessage->property("autoLogin").toBool()) {
        settingsMessage->setProperty("autoLogin", false);
        QTimer::singleShot(requestDelayMs, this, [this]() { startLogin(false); });
    }
}

void DLogin::showLoginPanel()
{
    settingsPanel->hide();
    loginPanel->show();
    settingsButton->show();
    settingsMessage->clearMessage();
    errorLabel->clearMessage();
    loginButton->setFocus();
}
