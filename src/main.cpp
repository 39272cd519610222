#include "appinfo.h"
#include "extraction.h"
#include "filechannel.h"
#include "form1.h"
#include "inisettingsstore.h"
#include "launchrun.h"
#include "networkdownloader.h"
#include "optionchoices.h"
#include "processlauncher.h"
#include "qtplatform.h"
#include "qtuiservices.h"
#include "sitelistmodel.h"
#include "xcbwindowsystem.h"
#include "clock.h"

#include <QApplication>

int main(int argc, char *argv[])
{
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
    zd::XcbWindowSystem windows;
    zd::SteadyClock clock;
    zd::SiteListModel sites;
    zd::FileChannel channel;
    zd::OptionChoices choices(settings, ui);
    zd::Extraction extraction(ui, downloader, dialogs, sites);
    zd::LaunchRun launch(ui, clock, launcher, windows, choices, sites);

    zd::Form1 form(zd::Form1Services{ui, sites, choices, channel, settings, dialogs, clipboard, extraction,
                                     launch, QApplication::applicationDirPath(), &ui});
    ui.setWindow(&form);
    dialogs.setParent(&form);
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
