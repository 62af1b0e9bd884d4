// bench_startup FOLDER: the program's start-up in FOLDER, up to its main window on screen,
// for timing the whole process (e.g. with hyperfine). Exits 0 when the events, bets and
// money tables are open, 1 when they are not, when anything reported an error, or when the
// main window never painted.
#include "base/Report.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "toolkit/Application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

using namespace varnel;

namespace {

// The main window counts as there once it has painted itself for the first time.
class FirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_startup FOLDER\n");
        return 2;
    }
    if (::chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 2;
    }

    TApplication application(argc, argv);
    // Nobody is there to close an error box: an error fails the run instead of waiting.
    // Initialize keeps a reporter that is already in place.
    bool failed = false;
    SetErrorReporter([&failed](const QString& message) {
        failed = true;
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    // The program's own start-up, as main() runs it.
    if (!StartUp(application))
        return 1;

    FirstPaint watch;
    if (application.MainForm())
        application.MainForm()->installEventFilter(&watch);
    // A window that never paints must not hang the measurement.
    QTimer::singleShot(10'000, qApp, &QCoreApplication::quit);
    application.Run();

    const bool open = DataModule6 && DataModule6->TableCompit->Active() &&
                      DataModule6->TableStavka->Active() && DataModule6->TableMoney->Active();
    if (!watch.painted)
        std::fprintf(stderr, "the main window never painted\n");
    TApplication::Halt(open && watch.painted && !failed ? 0 : 1);
}
