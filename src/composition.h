#pragma once

// The composition root shared by every platform: the platform's layers, the
// plain code behind the window, and the window itself. Each platform's main
// names its own classes and hands them here.
#include "app/commandline.h"
#include "app/form1.h"
#include "app/qtrunmonitor.h"
#include "core/appinfo.h"
#include "core/clock.h"
#include "core/optionchoices.h"
#include "core/qt/qtuiservices.h"
#include "core/system.h"
#include "extract/extraction.h"
#include "extract/networkdownloader.h"
#include "launch/launchrun.h"
#include "sitelist/filechannel.h"
#include "sitelist/qt/qtfiledialogs.h"
#include "sitelist/sitelistmodel.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace zd {

template<class Settings, class SystemClipboard, class Launcher, class Windows, class Proxies>
int runProgram(int argc, char *argv[], const QStringList &arguments)
{
    // Read before the application exists, so that --help and --version need
    // no display.
    const CommandLine commandLine = parseCommandLine(arguments, QDir::currentPath());
    if (commandLine.exitCode) {
        std::fputs(commandLine.text.toLocal8Bit().constData(), *commandLine.exitCode == 0 ? stdout : stderr);
        std::fflush(*commandLine.exitCode == 0 ? stdout : stderr);
        return *commandLine.exitCode;
    }
    // The fonts' configuration loads while the application connects to the
    // display; the window measures its captions only after both.
    std::thread fonts(sys::loadFontConfiguration);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProductName);
    QApplication::setOrganizationName(kSettingsApplication);
    QApplication::setDesktopFileName(QStringLiteral("zentavia-desk"));

    QtUiServices ui;
    Settings settings(kSettingsApplication, kSettingsSection);
    QtFileDialogs dialogs;
    SystemClipboard clipboard;
    NetworkDownloader downloader(30'000, 10 * 60'000, kMaxPageBytes, std::make_shared<const Proxies>());
    Launcher launcher;
    Windows windows;
    SteadyClock clock;
    SiteListModel sites;
    FileChannel channel;
    OptionChoices choices(settings, ui);
    Extraction extraction(ui, downloader, dialogs, sites);
    QtRunMonitor monitor(clock);
    extraction.setDownloadMonitor(&monitor);
    LaunchRun launch(ui, clock, launcher, windows, choices, sites, monitor);
    monitor.setControls([&launch] { launch.requestStop(); },
                        [&launch](bool paused) { launch.setPaused(paused); });
    monitor.setKeepAbove([&windows](QWidget *window) {
        return windows.keepAbove(QCoreApplication::applicationPid(), window->windowTitle());
    });

    fonts.join();
    Form1 form(Form1Services{ui, sites, choices, channel, dialogs, clipboard, extraction, launch,
                             QApplication::applicationDirPath()});
    ui.setWindow(&form);
    dialogs.setParent(&form);
    monitor.setWindow(&form);
    form.initialize();
    // For this session only: the stored choice stays as it was.
    if (commandLine.privateWindow)
        choices.setPrivateWindow(true, false);
    form.show();
    if (!commandLine.files.isEmpty() || commandLine.start)
        QTimer::singleShot(0, &form, [&] { form.loadFromCommandLine(commandLine.files, commandLine.start); });
    return QApplication::exec();
}

} // namespace zd
