// The Windows program: the registry, Win32 processes and windows.
#include "composition.h"
#include "core/windows/registrysettingsstore.h"
#include "extract/windows/winhttpproxies.h"
#include "launch/windows/processlauncher.h"
#include "launch/windows/win32windowsystem.h"
#include "sitelist/qt/qtplainclipboard.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    useParentConsole();
    return zd::runProgram<zd::RegistrySettingsStore, zd::QtPlainClipboard, zd::WindowsBrowserLauncher,
                          zd::Win32WindowSystem, zd::WinHttpProxies>(argc, argv, unicodeArguments());
}
