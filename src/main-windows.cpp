// The Windows program: the registry, Win32 processes and windows.
#include "composition.h"
#include "core/windows/registrysettingsstore.h"
#include "extract/windows/winhttpproxies.h"
#include "launch/windows/processlauncher.h"
#include "launch/windows/win32windowsystem.h"
#include "sitelist/qt/qtplainclipboard.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The arguments as the user typed them, in Unicode whatever the code page;
// "/?" asks for the help, as it does of any Windows program.
QStringList unicodeArguments()
{
    QStringList arguments;
    int count = 0;
    if (wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            const QString argument = QString::fromWCharArray(argv[i]);
            arguments << (i > 0 && argument == QLatin1String("/?") ? QStringLiteral("--help") : argument);
        }
        LocalFree(argv);
    }
    return arguments;
}

// A windowed program has no console: --help and --version write to the
// one it was started from, if any, unless its output goes to a file.
void useParentConsole()
{
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN)
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        [[maybe_unused]] FILE *out = std::freopen("CONOUT$", "w", stdout);
        [[maybe_unused]] FILE *err = std::freopen("CONOUT$", "w", stderr);
    }
}

// Whether the user chose the dark app mode (Settings > Personalization >
// Colors).
bool darkAppMode()
{
    DWORD light = 1;
    DWORD size = sizeof light;
    return RegGetValueW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                        L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size)
               == ERROR_SUCCESS
           && light == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    useParentConsole();
    // The window follows the app mode as it follows a dark theme on Linux:
    // Qt's dark palette (darkmode=2), which also follows a switch while it
    // runs; in dark mode with the Fusion style, which draws check marks and
    // radio dots in the palette's colours (the native one draws them for a
    // light window, hard to tell apart on a dark one).
    std::vector<char *> qtArgv(argv, argv + argc);
    char platform[] = "-platform";
    char darkPalette[] = "windows:darkmode=2";
    char style[] = "-style";
    char fusion[] = "fusion";
    if (std::none_of(argv + 1, argv + argc, [](const char *a) { return std::strcmp(a, "-platform") == 0; })) {
        qtArgv.insert(qtArgv.begin() + 1, {platform, darkPalette});
        if (darkAppMode())
            qtArgv.insert(qtArgv.begin() + 3, {style, fusion});
    }
    int qtArgc = int(qtArgv.size());
    qtArgv.push_back(nullptr);
    return zd::runProgram<zd::RegistrySettingsStore, zd::QtPlainClipboard, zd::WindowsBrowserLauncher,
                          zd::Win32WindowSystem, zd::WinHttpProxies>(qtArgc, qtArgv.data(),
                                                                     unicodeArguments());
}
