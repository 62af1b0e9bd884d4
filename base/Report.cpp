#include "base/Report.h"

#include <cstdio>

namespace varnel {

namespace {
ErrorReporter& reporter() {
    static ErrorReporter instance;
    return instance;
}
ErrorReporter& noticeReporter() {
    static ErrorReporter instance;
    return instance;
}
ErrorReporter& statusReporter() {
    static ErrorReporter instance;
    return instance;
}
} // namespace

void SetErrorReporter(ErrorReporter reporter_) {
    reporter() = std::move(reporter_);
}

bool HasErrorReporter() {
    return bool(reporter());
}

void ReportError(const QString& message) {
    if (reporter())
        reporter()(message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void SetNoticeReporter(ErrorReporter reporter_) {
    noticeReporter() = std::move(reporter_);
}

void SetStatusReporter(ErrorReporter reporter_) {
    statusReporter() = std::move(reporter_);
}

void ReportStatus(const QString& message) {
    if (statusReporter())
        statusReporter()(message);
}

void ReportNotice(const QString& message) {
    if (noticeReporter())
        noticeReporter()(message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace varnel
