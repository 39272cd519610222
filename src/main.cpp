// The composition root: the Linux platform layers, the plain code behind
// the window, and the window itself.
#include "core/appinfo.h"
#include "core/clock.h"
#include "core/system.h"
#include "core/optionchoices.h"
#include "app/form1.h"
#include "core/linux/inisettingsstore.h"
#include "app/qtrunmonitor.h"
#include "core/linux/qtuiservices.h"
#include "extract/extraction.h"
#include "extract/linux/networkdownloader.h"
#include "launch/launchrun.h"
#include "launch/linux/processlauncher.h"
#include "launch/linux/desktopwindows.h"
#include "sitelist/filechannel.h"
#include "sitelist/linux/qtclipboard.h"
#include "sitelist/linux/qtfiledialogs.h"
#include "sitelist/sitelistmodel.h"

#include "app/commandline.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <thread>

int main(int argc, char *argv[])
{
    // Read before the application exists, so that --help and --version need
    // no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const zd::CommandLine commandLine = zd::parseCommandLine(arguments, QDir::currentPath());
    if (commandLine.exitCode) {
        std::fputs(commandLine.text.toLocal8Bit().constData(), *commandLine.exitCode == 0 ? stdout : stderr);
        return *commandLine.exitCode;
    }
    // The fonts' configuration loads while the application connects to the
    // display; the window measures its captions only after both.
    std::thread fonts(zd::sys::loadFontConfiguration);
    QApplication app(argc, argv);
    QApplication::setApplicationName(zd::kProductName);
    QApplication::setOrganizationName(zd::kSettingsApplication);
    QApplication::setDesktopFileName(QStringLiteral("zentavia-desk"));

    zd::QtUiServices ui;
    zd::IniSettingsStore settings(zd::kSettingsApplication, zd::kSettingsSection);
    zd::QtFileDialogs dialogs;
    zd::QtClipboard clipboard;
    zd::NetworkDownloader downloader;
    zd::ProcessBrowserLauncher launcher;
    zd::DesktopWindowSystem windows;
    zd::SteadyClock clock;
    zd::SiteListModel sites;
    zd::FileChannel channel;
    zd::OptionChoices choices(settings, ui);
    zd::Extraction extraction(ui, downloader, dialogs, sites);
    zd::QtRunMonitor monitor(clock);
    zd::LaunchRun launch(ui, clock, launcher, windows, choices, sites, monitor);
    monitor.setControls([&launch] { launch.requestStop(); },
                        [&launch](bool paused) { launch.setPaused(paused); });

    fonts.join();
    zd::Form1 form(zd::Form1Services{ui, sites, choices, channel, dialogs, clipboard, extraction, launch,
                                     QApplication::applicationDirPath()});
    ui.setWindow(&form);
    dialogs.setParent(&form);
    monitor.setWindow(&form);
    form.initialize();
    form.show();
    if (!commandLine.files.isEmpty() || commandLine.start)
        QTimer::singleShot(0, &form, [&] { form.loadFromCommandLine(commandLine.files, commandLine.start); });
    return QApplication::exec();
}
