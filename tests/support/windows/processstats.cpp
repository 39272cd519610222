#include "support/processstats.h"

#include <QtGlobal>

#include <windows.h>

#include <psapi.h>

namespace zd::test {

namespace {

double seconds(const FILETIME &time)
{
    return double((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

} // namespace

double cpuSeconds()
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    return seconds(kernel) + seconds(user);
}

long peakRssMb()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return long(counters.PeakWorkingSetSize / (1024 * 1024));
}

} // namespace zd::test
