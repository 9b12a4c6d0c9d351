// The test support itself: a window that nothing answers, or an answer whose
// window never comes, fails the running test within seconds, naming the
// window, instead of hanging it until the test time-out. Each case runs in a
// child process of this program, since it must fail.
#include "menuanswer.h"
#include "modalanswer.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>

namespace {

const char *const kCaseVariable = "FOLVANE_FAILING_CASE";

} // namespace

class TestTestSupport : public QObject
{
    Q_OBJECT
private slots:
    void failuresComeWithinSecondsAndNameTheWindow_data()
    {
        QTest::addColumn<QString>("failingCase");
        QTest::addColumn<QString>("message");
        QTest::newRow("answer never used") << "answerForABoxThatNeverComes"
                                           << "the window \"上传出错\" never came (waited 1000 ms)";
        QTest::newRow("box nobody answers") << "boxThatNobodyAnswers"
                                            << "QMessageBox \"上传出错\" (unanswered) stayed open";
        QTest::newRow("menu entry missing")
            << "menuWithoutTheEntry"
            << "the menu has no entry \"missing\" (it has: present)";
    }

    void failuresComeWithinSecondsAndNameTheWindow()
    {
        QFETCH(QString, failingCase);
        QFETCH(QString, message);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kCaseVariable, "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {failingCase});
        QVERIFY(child.waitForFinished(4 * kAnswerTimeoutMs));
        QVERIFY(clock.elapsed() < 3 * kAnswerTimeoutMs);
        const QString output = QString::fromUtf8(child.readAll());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() != 0, qPrintable(output));
        QVERIFY2(output.contains(message), qPrintable(output));
    }

    // The failing cases, run only in the child.
    void answerForABoxThatNeverComes()
    {
        if (!qEnvironmentVariableIsSet(kCaseVariable))
            QSKIP("a failing case, run by failuresComeWithinSecondsAndNameTheWindow");
        answerNextModal(
            "上传出错", [](QWidget *) {}, 1000);
        QTest::qWait(1500);
    }

    void boxThatNobodyAnswers()
    {
        if (!qEnvironmentVariableIsSet(kCaseVariable))
            QSKIP("a failing case, run by failuresComeWithinSecondsAndNameTheWindow");
        QMessageBox::warning(nullptr, QStringLiteral("上传出错"), QStringLiteral("unanswered"));
    }

    void menuWithoutTheEntry()
    {
        if (!qEnvironmentVariableIsSet(kCaseVariable))
            QSKIP("a failing case, run by failuresComeWithinSecondsAndNameTheWindow");
        answerNextMenu(nullptr, QStringLiteral("missing"));
        QMenu menu;
        menu.addAction(QStringLiteral("present"));
        menu.exec(QPoint(10, 10));
    }
};

FOLVANE_TEST_MAIN(TestTestSupport)
#include "tst_testsupport.moc"
