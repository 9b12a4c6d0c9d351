// Start-up as the executable runs it: the sign-in dialog, then the main window
// only after an accepted sign-in with a token, and the end of the session.
#include "app/dlogin.h"
#include "app/mainwidget.h"
#include "app/startup.h"
#include "core/gcore.h"
#include "modalanswer.h"
#include "serverprocess.h"
#include "testmain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// Closes the first visible main window once it appears, and tells whether one did.
class MainWindowCloser : public QObject
{
public:
    MainWindowCloser()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            const QList<QWidget *> windows = QApplication::topLevelWidgets();
            for (QWidget *w : windows) {
                if (qobject_cast<MainWidget *>(w) && w->isVisible()) {
                    seen = true;
                    timer.stop();
                    w->close();
                    return;
                }
            }
        });
        timer.start(20);
    }
    bool seen = false;

private:
    QTimer timer;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void closedDialogEndsWithoutMainWindow()
    {
        GCore::instance()->writeSettings({});
        GCore::instance()->setToken(QString());
        answerNextModal([](QWidget *modal) {
            QVERIFY(qobject_cast<DLogin *>(modal));
            static_cast<DLogin *>(modal)->reject();
        });
        MainWindowCloser closer;
        QCOMPARE(startup::runSession(*qApp), 0);
        QVERIFY(!closer.seen);
        QVERIFY(GCore::instance()->token().isEmpty());
    }

    void signInOpensMainWindowAndClosingItEnds()
    {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        server.configureClient();
        answerNextModal([](QWidget *modal) {
            auto *login = qobject_cast<DLogin *>(modal);
            QVERIFY(login);
            login->findChild<QLineEdit *>("usernameEdit")->setText("zhangsan");
            login->findChild<QLineEdit *>("passwordEdit")->setText("123456");
            login->findChild<QPushButton *>("loginButton")->click();
        });
        MainWindowCloser closer;
        QCOMPARE(startup::runSession(*qApp), 0);
        QVERIFY(closer.seen);
        QVERIFY(!GCore::instance()->token().isEmpty());
        QCOMPARE(GCore::instance()->userInfo().value("username").toString(),
                 QStringLiteral("zhangsan"));
    }
};

FOLVANE_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
