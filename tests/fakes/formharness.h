#pragma once

#include "app/form1.h"
#include "app/sitelistview.h"
#include "core/optionchoices.h"
#include "extract/extraction.h"
#include "fakes/fakedownloader.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitelistmodel.h"

#include <QPushButton>
#include <QtTest>

namespace zd::test {

// Everything the window needs, with scripted platform layers.
struct Harness
{
    explicit Harness(const QString &programFolder = QString())
        : choices(settings, ui), extraction(ui, downloader, dialogs, sites),
          launch(ui, clock, launcher, windows, choices, sites, monitor),
          form(Form1Services{ui, sites, choices, channel, dialogs, clipboard, extraction, launch,
                             programFolder})
    {
    }
    FakeUiServices ui;
    MemorySettingsStore settings;
    FakeFileDialogs dialogs;
    FakeClipboard clipboard;
    FakeDownloader downloader;
    FakeBrowserLauncher launcher;
    FakeWindowSystem windows;
    FakeClock clock;
    FakeRunMonitor monitor;
    SiteListModel sites;
    FileChannel channel;
    OptionChoices choices;
    Extraction extraction;
    LaunchRun launch;
    Form1 form;

    template<class T = QWidget>
    T *control(const char *name)
    {
        return form.findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    // The window on screen with these items in its list; null if it never showed.
    SiteListView *showList(const QStringList &items)
    {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            return nullptr;
        for (const QString &item : items)
            sites.appendSite(item);
        QCoreApplication::processEvents();
        return control<SiteListView>("ListView1");
    }
};

} // namespace zd::test
