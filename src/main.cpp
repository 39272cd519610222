// The Linux program: POSIX processes, X11 and Wayland desktops, an INI file.
#include "composition.h"
#include "core/linux/inisettingsstore.h"
#include "extract/linux/desktopproxies.h"
#include "launch/linux/desktopwindows.h"
#include "launch/linux/processlauncher.h"
#include "sitelist/linux/qtclipboard.h"

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return zd::runProgram<zd::IniSettingsStore, zd::QtClipboard, zd::ProcessBrowserLauncher,
                          zd::DesktopWindowSystem, zd::DesktopProxies>(argc, argv, arguments);
}
