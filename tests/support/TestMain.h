#pragma once

#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QTest>

namespace varnel::test {

// The one main of the test programs: an application of the kind given, in the program's
// locale, then the test object run. Its cases that set another locale do it through
// OtherLocale, so every case starts in the program's.
template <typename App, typename Test> int runTests(int argc, char** argv) {
    App app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    useProgramLocale();
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace varnel::test

// For the tests of windows (a QApplication) and for the rest (a QCoreApplication).
#define VARNEL_TEST_MAIN(Test)                                                                     \
    int main(int argc, char** argv) {                                                              \
        return ::varnel::test::runTests<QApplication, Test>(argc, argv);                           \
    }
#define VARNEL_GUILESS_TEST_MAIN(Test)                                                             \
    int main(int argc, char** argv) {                                                              \
        return ::varnel::test::runTests<QCoreApplication, Test>(argc, argv);                       \
    }
