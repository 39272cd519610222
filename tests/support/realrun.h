#pragma once

#include "core/clock.h"
#include "core/optionchoices.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "sitelist/sitelistmodel.h"

#include <QThread>

namespace zd::test {

/// A launch run with a platform's real launcher and window system, on real
/// time; the window and the settings are fakes.
template<class Launcher, class Windows>
struct RealRun
{
    RealRun() : choices(settings, ui), run(ui, clock, launcher, windows, choices, list, monitor)
    {
        ui.onIdle = [](int ms) { QThread::msleep(ulong(ms)); };
    }
    FakeUiServices ui;
    MemorySettingsStore settings;
    SteadyClock clock;
    Launcher launcher;
    Windows windows;
    SiteListModel list;
    OptionChoices choices;
    FakeRunMonitor monitor;
    LaunchRun run;
};

} // namespace zd::test
