// One QApplication for a whole gtest binary (widgets need it; tests run
// offscreen).
#pragma once

#include <QApplication>

inline QApplication* scopeTestApp()
{
    static int argc = 1;
    static char name[] = "scope_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
        return new QApplication(argc, argv);
    }();
    return app;
}
