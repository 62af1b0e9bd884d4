#pragma once

#include "base/Report.h"

#include <QApplication>
#include <QLocale>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>

namespace varnel::bench {

// The main of the benchmarks that show windows: the headless platform unless another is set
// (its complaints about raising windows are no result), the program's locale, and errors on
// standard error, since nobody is there to close an error box; `onError` is told of each.
// `prepare` runs once the application is made: a status of 0 or more ends the program with it
// instead of running the cases.
inline int runWindowBenchmarks(int argc, char** argv, void (*onError)() = nullptr,
                               const std::function<int()>& prepare = {}) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!message.startsWith(QLatin1String("This plugin does not support")))
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    SetErrorReporter([onError](const QString& message) {
        if (onError)
            onError();
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    if (prepare)
        if (const int status = prepare(); status >= 0)
            return status;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace varnel::bench
