#pragma once

#include "temphome.h"

#include <QApplication>
#include <QtTest>

// Like QTEST_MAIN, but HOME points at a temporary folder before the application
// exists, for the whole test program.
#define FOLVANE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TempHome home;                                                                             \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
