// Frameless windows and the small custom widgets: what the frame shows, how the
// strips and the title bar move and resize the window, maximise and restore.
#include "widgets/framelessdialog.h"
#include "widgets/framelesswidget.h"
#include "widgets/linklabel.h"
#include "widgets/messagelabel.h"
#include "widgets/tpushbutton.h"
#include "widgets/tradiuswidget.h"
#include "widgets/translucentwidget.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include "testmain.h"

namespace {

class TestDialog : public FramelessDialog
{
public:
    TestDialog(bool fixedSize) : FramelessDialog(nullptr, QBrush(QColor("#00a4ff")), fixedSize)
    {
        initTitleBar();
        titleLabel->setText(QStringLiteral("测试"));
        resize(400, 300);
    }
};

void sendMouse(QWidget *w, QEvent::Type type, const QPoint &local, const QPoint &global,
               Qt::MouseButtons buttons = Qt::LeftButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Presses inside `w` at `local` and drags the mouse by `delta` in global space.
void drag(QWidget *w, const QPoint &local, const QPoint &delta)
{
    const QPoint global = w->mapToGlobal(local);
    sendMouse(w, QEvent::MouseButtonPress, local, global);
    sendMouse(w, QEvent::MouseMove, local + delta, global + delta);
    sendMouse(w, QEvent::MouseButtonRelease, local + delta, global + delta, Qt::NoButton);
}

TranslucentWidget *strip(QWidget *window, int code)
{
    return window->findChild<TranslucentWidget *>(QStringLiteral("resizeStrip%1").arg(code));
}

} // namespace

class TestFrameless : public QObject
{
    Q_OBJECT
private slots:
    void fixedSizeDialogShowsOnlyCloseAndIgnoresResizing();
    void closeButtonRejectsDialog();
    void stripsMoveOnlyTheirEdges_data();
    void stripsMoveOnlyTheirEdges();
    void topStripStopsAtMinimumAndKeepsBottom();
    void titleBarDragMovesWindow();
    void maximiseAndRestore();
    void widgetDoubleClickMaximisesAndCloses();
    void paintsShadowAndRoundedBody();
    void pushButtonMarkerAndCaption();
    void linkLabelClicksAndHover();
    void messageLabelWithdrawsItself();
};

void TestFrameless::fixedSizeDialogShowsOnlyCloseAndIgnoresResizing()
{
    TestDialog dialog(true);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *close = dialog.findChild<TPushButton *>("closeButton");
    auto *minimize = dialog.findChild<TPushButton *>("minimizeButton");
    QVERIFY(close && close->isVisible());
    QVERIFY(minimize && !minimize->isVisible());
    QVERIFY(!dialog.findChild<TPushButton *>("maximizeButton"));

    auto *title = dialog.findChild<TRadiusWidget *>("titleBar");
    QTest::mouseDClick(title, Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    QVERIFY(!dialog.isMaximized());
    dialog.reSizeApp();
    QVERIFY(!dialog.isMaximized());

    const QRect before = dialog.geometry();
    for (int code = 0; code < 8; ++code) {
        TranslucentWidget *s = strip(&dialog, code);
        QVERIFY(s);
        QCOMPARE(s->cursor().shape(), Qt::ArrowCursor);
        drag(s, QPoint(2, 2), QPoint(-30, 40));
        QCOMPARE(dialog.geometry(), before);
    }
}

void TestFrameless::closeButtonRejectsDialog()
{
    TestDialog dialog(false);
    dialog.show();
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QTest::mouseClick(dialog.findChild<TPushButton *>("closeButton"), Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestFrameless::stripsMoveOnlyTheirEdges_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QRect>("expected");
    // Start 100,100 400x300; mouse moved by (-20, +30).
    QTest::newRow("top") << 0 << int(Qt::SizeVerCursor) << QRect(100, 130, 400, 270);
    QTest::newRow("left") << 1 << int(Qt::SizeHorCursor) << QRect(80, 100, 420, 300);
    QTest::newRow("bottom") << 2 << int(Qt::SizeVerCursor) << QRect(100, 100, 400, 330);
    QTest::newRow("right") << 3 << int(Qt::SizeHorCursor) << QRect(100, 100, 380, 300);
    QTest::newRow("top-left") << 4 << int(Qt::SizeFDiagCursor) << QRect(80, 130, 420, 270);
    QTest::newRow("top-right") << 5 << int(Qt::SizeBDiagCursor) << QRect(100, 130, 380, 270);
    QTest::newRow("bottom-left") << 6 << int(Qt::SizeBDiagCursor) << QRect(80, 100, 420, 330);
    QTest::newRow("bottom-right") << 7 << int(Qt::SizeFDiagCursor) << QRect(100, 100, 380, 330);
}

void TestFrameless::stripsMoveOnlyTheirEdges()
{
    QFETCH(int, code);
    QFETCH(int, cursor);
    QFETCH(QRect, expected);
    TestDialog dialog(false);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.geometry(), QRect(100, 100, 400, 300));

    TranslucentWidget *s = strip(&dialog, code);
    QCOMPARE(int(s->cursor().shape()), cursor);
    drag(s, QPoint(1, 1), QPoint(-20, 30));
    QCOMPARE(dialog.geometry(), expected);
}

void TestFrameless::topStripStopsAtMinimumAndKeepsBottom()
{
    TestDialog dialog(false);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int bottom = dialog.geometry().bottom();
    const int right = dialog.geometry().right();
    const int minimum = qMax(1, dialog.minimumHeight());

    // Far past the bottom edge in one move, then creeping past it pixel by pixel.
    drag(strip(&dialog, 0), QPoint(50, 2), QPoint(0, 1000));
    QCOMPARE(dialog.geometry().bottom(), bottom);
    QCOMPARE(dialog.geometry().height(), minimum);
    QCOMPARE(dialog.geometry().right(), right);

    dialog.setGeometry(100, 100, 400, 300);
    TranslucentWidget *top = strip(&dialog, 0);
    const QPoint start = top->mapToGlobal(QPoint(50, 2));
    sendMouse(top, QEvent::MouseButtonPress, QPoint(50, 2), start);
    for (int dy = 250; dy <= 320; dy += 7)
        sendMouse(top, QEvent::MouseMove, QPoint(50, 2 + dy), start + QPoint(0, dy));
    QCOMPARE(dialog.geometry().bottom(), bottom);
    QCOMPARE(dialog.geometry().height(), minimum);

    // A window without a layout minimum stops at exactly one pixel.
    QWidget bare;
    bare.setGeometry(100, 100, 200, 100);
    TranslucentWidget edge(0, &bare, false, 8);
    edge.setGeometry(0, 0, 200, 8);
    const QPoint edgeGlobal(150, 100);
    sendMouse(&edge, QEvent::MouseButtonPress, QPoint(50, 0), edgeGlobal);
    sendMouse(&edge, QEvent::MouseMove, QPoint(50, 500), edgeGlobal + QPoint(0, 500));
    QCOMPARE(bare.geometry(), QRect(100, 199, 200, 1));
}

void TestFrameless::titleBarDragMovesWindow()
{
    TestDialog dialog(true);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *title = dialog.findChild<TRadiusWidget *>("titleBar");
    const QPoint press(60, 10);
    const QPoint global = title->mapToGlobal(press);
    sendMouse(title, QEvent::MouseButtonPress, press, global, Qt::RightButton);
    sendMouse(title, QEvent::MouseMove, press + QPoint(35, -20), global + QPoint(35, -20),
              Qt::RightButton);
    QCOMPARE(dialog.pos(), QPoint(135, 80));
    // The press point is still under the mouse.
    QCOMPARE(title->mapToGlobal(press), global + QPoint(35, -20));
}

void TestFrameless::maximiseAndRestore()
{
    TestDialog dialog(false);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *title = dialog.findChild<TRadiusWidget *>("titleBar");
    auto *maximize = dialog.findChild<TPushButton *>("maximizeButton");
    QVERIFY(maximize && maximize->isVisible());
    QVERIFY(maximize->styleSheet().contains("normal_transparent_h.png"));
    QCOMPARE(title->radius(), 3);

    QTest::mouseClick(maximize, Qt::LeftButton);
    QVERIFY(dialog.isMaximized());
    QCOMPARE(title->radius(), 0);
    QVERIFY(maximize->styleSheet().contains("maximize_transparent_h.png"));
    for (int code = 0; code < 8; ++code)
        QVERIFY(!strip(&dialog, code)->isVisible());

    // A maximised window stays put when its title bar is dragged.
    QTRY_VERIFY(dialog.geometry() != QRect(100, 100, 400, 300));
    const QPoint pos = dialog.pos();
    drag(title, QPoint(60, 10), QPoint(80, 90));
    QCOMPARE(dialog.pos(), pos);

    QTest::mouseDClick(title, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
    QVERIFY(!dialog.isMaximized());
    QCOMPARE(title->radius(), 3);
    QVERIFY(maximize->styleSheet().contains("normal_transparent_h.png"));
    for (int code = 0; code < 8; ++code)
        QVERIFY(strip(&dialog, code)->isVisible());
}

void TestFrameless::widgetDoubleClickMaximisesAndCloses()
{
    FramelessWidget window(nullptr, QColor("#0098f7"), false);
    QCOMPARE(window.size(), QSize(800, 600));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *title = window.findChild<TRadiusWidget *>("titleBar");
    QTest::mouseDClick(title, Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
    QVERIFY(window.isMaximized());
    window.reSizeApp();
    QVERIFY(!window.isMaximized());
    window.closeApp();
    QVERIFY(!window.isVisible());

    FramelessWidget fixed(nullptr, QColor("#0098f7"), true);
    fixed.show();
    QTest::mouseDClick(fixed.findChild<TRadiusWidget *>("titleBar"), Qt::LeftButton, Qt::NoModifier,
                       QPoint(30, 10));
    QVERIFY(!fixed.isMaximized());
}

void TestFrameless::paintsShadowAndRoundedBody()
{
    TestDialog dialog(false);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QImage image = dialog.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(400, 300));
    // Outside the outermost ring nothing is drawn.
    QCOMPARE(qAlpha(image.pixel(0, 150)), 0);
    // The ring next to the body is the darkest shadow.
    const QRgb ring = image.pixel(7, 150);
    QVERIFY(qAlpha(ring) > 20);
    QVERIFY(qRed(ring) < 100);
    QVERIFY(qAlpha(image.pixel(7, 150)) > qAlpha(image.pixel(3, 150)));
    // The body is white, the title bar carries its brush.
    QCOMPARE(image.pixel(200, 250), qRgba(255, 255, 255, 255));
    QCOMPARE(QColor(image.pixel(200, 20)).name(), QString("#00a4ff"));
    // Rounded corner: the body's very corner pixel is not fully covered.
    QVERIFY(qAlpha(image.pixel(8, 291)) < 255);

    dialog.reSizeApp();
    QTRY_VERIFY(dialog.isMaximized());
    QTRY_VERIFY(dialog.size() != QSize(400, 300));
    image = dialog.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // No shadow band: the window's edge pixels are the opaque background, and
    // the title bar's top-left corner is square.
    QCOMPARE(image.pixel(0, image.height() - 1), qRgba(255, 255, 255, 255));
    QCOMPARE(QColor(image.pixel(0, 0)).name(), QString("#00a4ff"));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 255);
}

void TestFrameless::pushButtonMarkerAndCaption()
{
    TPushButton button;
    button.setStyleSheet("QPushButton {border:0px;background:#ffffff;color:#000000;}");
    button.setFixedSize(72, 86);
    button.setText(QStringLiteral("个人桌面"));
    QCOMPARE(button.QPushButton::text(), QString());
    QCOMPARE(button.drawnText(), QStringLiteral("个人桌面"));

    QImage plain = button.grab().toImage();
    button.setShowMarker(true);
    QImage marked = button.grab().toImage();
    QCOMPARE(QColor(marked.pixel(1, 10)).name(), QString("#00c6fb"));
    QCOMPARE(QColor(marked.pixel(6, 43)).name(), QString("#00c6fb")); // the notch
    QCOMPARE(QColor(marked.pixel(6, 10)).name(), QString("#ffffff"));
    QCOMPARE(QColor(plain.pixel(1, 10)).name(), QString("#ffffff"));

    button.setShowMarker(false);
    button.setShowText(true);
    QImage captioned = button.grab().toImage();
    int darkTop = 0;
    int darkBottom = 0;
    for (int y = 0; y < captioned.height(); ++y)
        for (int x = 0; x < captioned.width(); ++x)
            if (qGray(captioned.pixel(x, y)) < 128)
                (y >= 86 - 21 ? darkBottom : darkTop)++;
    QCOMPARE(darkTop, 0);
    QVERIFY(darkBottom > 0);
}

void TestFrameless::linkLabelClicksAndHover()
{
    LinkLabel label;
    label.setText(QStringLiteral("公告"));
    label.resize(200, 24);
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(label.focusPolicy(), Qt::NoFocus);
    QSignalSpy clicked(&label, &LinkLabel::clicked);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&label, &enter);
    QVERIFY(label.isHovered());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    QVERIFY(!label.isHovered());

    QImage image = label.grab().toImage();
    QCOMPARE(QColor(image.pixel(16, 12)).name(), QString("#00c6fb"));

    label.setMode(1, "#0696f5", true);
    QCOMPARE(label.styleSheet(), QString(".LinkLabel {color:#0696f5;font-weight:bold;}"));
    image = label.grab().toImage();
    QVERIFY(QColor(image.pixel(16, 12)).name() != QString("#00c6fb"));
}

void TestFrameless::messageLabelWithdrawsItself()
{
    QWidget parent;
    MessageLabel label(&parent);
    parent.show();
    int cleared = 0;
    label.setClearedHandler([&cleared]() { ++cleared; });
    QVERIFY(!label.isVisible());
    label.showMessage(QStringLiteral("请填写账号"), 100);
    QVERIFY(label.isVisible());
    QCOMPARE(label.text(), QStringLiteral("请填写账号"));
    QTRY_VERIFY(!label.isVisible());
    QCOMPARE(label.text(), QString());
    QCOMPARE(cleared, 1);

    // Without a timeout the message stays until cleared.
    label.showMessage(QStringLiteral("自动登录中..."), 0);
    QVERIFY(!label.isPending());
    QTest::qWait(150);
    QVERIFY(label.isVisible());
    label.clearMessage();
    QVERIFY(!label.isVisible());
    QCOMPARE(cleared, 2);
}

FOLVANE_TEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
