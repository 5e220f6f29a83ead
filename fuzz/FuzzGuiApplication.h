#pragma once
// Targets that draw need a QGuiApplication (fonts, painting); made once for the whole run.
#include <QGuiApplication>

inline void ensureGuiApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QGuiApplication(argc, argv);
}
