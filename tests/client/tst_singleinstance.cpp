// One client per user: a second start asks the running client to bring its
// window to the front and ends, as the desktop entry's SingleMainWindow
// promises. The second start is the real client program.
#include "app/startup.h"
#include "core/singleinstance.h"
#include "testmain.h"

#include <QDialog>
#include <QFile>
#include <QProcess>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStartRaisesTheRunningClientAndEnds()
    {
        // A socket left by a client that died is no obstacle.
        QFile leftover(SingleInstance::defaultName());
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        QVERIFY(startup::claimSingleInstance(*qApp));

        QWidget mainWindow;
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        mainWindow.showMinimized();
        QDialog other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        QVERIFY(mainWindow.isMinimized());

        for (int start = 0; start < 2; ++start) {
            QProcess second;
            second.setProcessChannelMode(QProcess::ForwardedChannels);
            second.start(qEnvironmentVariable("FOLVANE_CLIENT_BIN"), QStringList());
            QVERIFY2(second.waitForStarted(), qPrintable(second.errorString()));
            // Had it not found this client it would sit in its own sign-in dialog.
            QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);

            QTRY_COMPARE(QApplication::activeWindow(), &mainWindow);
            QVERIFY(!mainWindow.isMinimized());
            other.activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), &other);
        }
    }
};

FOLVANE_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
