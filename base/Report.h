#pragma once

#include "base/Errors.h"

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace varnel {

// Where errors that leave a handler go: the application's standard error box, or a
// recorder in the tests.
using ErrorReporter = std::function<void(const QString& message)>;
void SetErrorReporter(ErrorReporter reporter);
void ReportError(const QString& message);
bool HasErrorReporter();

// Where news that is no error goes (a table mended, a backup made or missing): an information
// box, or the same recorder.
void SetNoticeReporter(ErrorReporter reporter);
void ReportNotice(const QString& message);

// Where a word on what an action did goes, that the operator should see without a box to close
// (where a bet's slip went): the main screen's line, until the next action; nowhere when no
// window listens. Called on the windows' thread.
void SetStatusReporter(ErrorReporter reporter);
void ReportStatus(const QString& message);

// Runs one handler; an error it throws ends the handler at the failing step and is shown
// in the standard error box. Nothing thrown ever crosses the event loop.
template <typename Function> void RunHandler(Function&& function) {
    try {
        std::forward<Function>(function)();
    } catch (const EVarnelError& error) {
        ReportError(error.message());
    } catch (const std::exception& error) {
        ReportError(QString::fromLocal8Bit(error.what()));
    }
}

// The one wrapper every handler is connected through:
//     connect(Button3, &QPushButton::clicked, this, Handler(this, &TPriemCompit::prOk));
template <typename Object> auto Handler(Object* object, void (Object::*method)()) {
    return [object, method](auto&&...) { RunHandler([&] { (object->*method)(); }); };
}

} // namespace varnel
