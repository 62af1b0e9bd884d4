#include "store/engine/FaultInjection.h"

#include "store/engine/Errors.h"

#include <unistd.h>

namespace varnel::fault {

namespace {
bool g_armed = false;
int g_remaining = 0;
int g_passed = 0;
Kind g_kind = Kind::Error;
} // namespace

void Arm(int pointsBeforeFault, Kind kind) {
    g_armed = true;
    g_remaining = pointsBeforeFault;
    g_kind = kind;
    g_passed = 0;
}

void Disarm() {
    g_armed = false;
    g_passed = 0;
}

int Passed() {
    return g_passed;
}

void Point() {
    ++g_passed;
    if (!g_armed || --g_remaining > 0)
        return;
    g_armed = false;
    if (g_kind == Kind::Kill)
        ::_exit(77);
    throw EDatabaseError(QStringLiteral("Сбой записи на диск (испытание)."));
}

} // namespace varnel::fault
