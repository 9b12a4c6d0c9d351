#pragma once

#include "app/startup.h"
#include "modalanswer.h"
#include "screenshot.h"
#include "temphome.h"

#include <QApplication>
#include <QtTest>

// Like QTEST_MAIN, but HOME points at a temporary folder before the application
// exists, for the whole test program, and a window that nothing answers
// fails the running test instead of hanging it.
#define FOLVANE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TempHome home;                                                                             \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        installModalWatchdog();                                                                    \
        if (shotsWanted())                                                                         \
            startup::applyStyleSheet(app);                                                         \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
