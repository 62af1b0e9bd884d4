#include "store/engine/FaultInjection.h"

#include "base/Errors.h"

#include <unistd.h>

namespace varnel::fault {

namespace {
struct Fault {
    int remaining = 0;
    Kind kind = Kind::Error;
};
bool g_armed = false;
Fault g_fault;
bool g_nextArmed = false;
Fault g_next;
int g_passed = 0;
std::function<void(int)> g_observer;
} // namespace

void Arm(int pointsBeforeFault, Kind kind) {
    g_armed = true;
    g_fault = {pointsBeforeFault, kind};
    g_nextArmed = false;
    g_passed = 0;
}

void ArmNext(int pointsAfterFirst, Kind kind) {
    g_nextArmed = true;
    g_next = {pointsAfterFirst, kind};
}

void Disarm() {
    g_armed = false;
    g_nextArmed = false;
    g_passed = 0;
}

void Observe(std::function<void(int passed)> observer) {
    g_observer = std::move(observer);
}

int Passed() {
    return g_passed;
}

void Point() {
    ++g_passed;
    if (g_observer)
        g_observer(g_passed);
    if (!g_armed || --g_fault.remaining > 0)
        return;
    const Kind kind = g_fault.kind;
    g_armed = g_nextArmed;
    g_fault = g_next;
    g_nextArmed = false;
    if (kind == Kind::Kill)
        ::_exit(77);
    throw EDatabaseError(QStringLiteral("Сбой записи на диск (испытание)."));
}

} // namespace varnel::fault
