// SPDX-License-Identifier: MIT
// sys_windows_time.cpp -- the Windows console back end's time: a
// millisecond clock from the performance counter, and a timer that fires to
// the millisecond for sleeps and timed waits.

#include "sys_windows.h"

#include <mmsystem.h>

#ifdef _MSC_VER
#pragma comment(lib, "winmm.lib")
#endif

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

long long qpc_now() {
    static LARGE_INTEGER freq = {};
    if (freq.QuadPart == 0) QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (long long)(t.QuadPart / freq.QuadPart * 1000 +
                       t.QuadPart % freq.QuadPart * 1000 / freq.QuadPart);
}

const long long start_ms = qpc_now();

HANDLE timer;
bool timer_precise, period_raised;

void raise_period() {
    if (timer_precise || period_raised) return;
    period_raised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

} // namespace

// ---- Timers ----------------------------------------------------------------

// A high-resolution timer where Windows has it, else an ordinary one with
// the system tick raised to 1 ms (given back in sys_close and at exit).
HANDLE precise_timer(void) {
    if (timer) return timer;
    timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                   TIMER_ALL_ACCESS);
    timer_precise = timer != nullptr;
    if (!timer) timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
    return timer;
}

bool arm_timer(HANDLE t, long long ms) {
    raise_period();
    LARGE_INTEGER due;
    due.QuadPart = -(ms * 10000); // relative, in 100 ns units
    return SetWaitableTimer(t, &due, 0, nullptr, nullptr, FALSE) != 0;
}

void lower_period(void) {
    if (period_raised) timeEndPeriod(1);
    period_raised = false;
}

// ---- The seam --------------------------------------------------------------

long long sys_millis(void) {
    return qpc_now() - start_ms;
}

// A waitable timer never fires early: one wait and no clock read. Only
// Sleep, where there is no timer, may end short, and is checked by the
// clock.
void sys_sleep(int ms) {
    if (ms <= 0) return;
    HANDLE t = precise_timer();
    if (t && arm_timer(t, ms) && WaitForSingleObject(t, INFINITE) == WAIT_OBJECT_0) return;
    long long until = sys_millis() + ms;
    for (long long left = ms; left > 0; left = until - sys_millis())
        Sleep((DWORD)left);
}
