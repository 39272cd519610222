#include "launch/windows/win32windowsystem.h"

#include <QFileInfo>
#include <QHash>

#include <windows.h>

namespace zd {

namespace {

HWND handleOf(WindowId id)
{
    // Window handles keep their meaning in 32 bits, also in 64-bit programs.
    return static_cast<HWND>(ULongToHandle(id));
}

QString windowText(HWND window)
{
    wchar_t text[512];
    const int length = GetWindowTextW(window, text, int(std::size(text)));
    return QString::fromWCharArray(text, qMax(0, length));
}

QString windowClass(HWND window)
{
    wchar_t name[256];
    const int length = GetClassNameW(window, name, int(std::size(name)));
    return QString::fromWCharArray(name, qMax(0, length));
}

// "firefox" for a window of C:\...\firefox.exe; empty when not allowed to ask.
QString programName(DWORD pid)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return {};
    wchar_t path[MAX_PATH * 4];
    DWORD length = DWORD(std::size(path));
    QString name;
    if (QueryFullProcessImageNameW(process, 0, path, &length))
        name = QFileInfo(QString::fromWCharArray(path, int(length))).completeBaseName();
    CloseHandle(process);
    return name;
}

struct Walk
{
    std::vector<TopLevelWindow> windows;
    QHash<DWORD, QString> programs;
};

BOOL CALLBACK addWindow(HWND window, LPARAM context)
{
    auto &walk = *reinterpret_cast<Walk *>(context);
    const auto extended = GetWindowLongPtrW(window, GWL_EXSTYLE);
    // Tool windows (palettes, a browser's helpers) are never a page.
    if (!IsWindowVisible(window) || (extended & WS_EX_TOOLWINDOW))
        return TRUE;
    TopLevelWindow entry;
    entry.id = WindowId(HandleToULong(window));
    entry.title = windowText(window);
    entry.visible = true; // minimized windows stay visible
    entry.owned = GetWindow(window, GW_OWNER) != nullptr;
    entry.className = windowClass(window);
    entry.dialog = entry.className == QLatin1String("#32770") || (extended & WS_EX_DLGMODALFRAME);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    entry.pid = pid;
    auto program = walk.programs.find(pid);
    if (program == walk.programs.end())
        program = walk.programs.insert(pid, programName(pid));
    entry.instanceName = *program;
    walk.windows.push_back(std::move(entry));
    return TRUE;
}

bool inState(HWND window, ShowState state)
{
    return state == ShowState::Minimized ? IsIconic(window) : IsZoomed(window);
}

} // namespace

WindowCapabilities Win32WindowSystem::capabilities()
{
    return {true, true, true, false};
}

std::vector<TopLevelWindow> Win32WindowSystem::topLevelWindows()
{
    Walk walk;
    EnumWindows(addWindow, reinterpret_cast<LPARAM>(&walk));
    return std::move(walk.windows);
}

bool Win32WindowSystem::place(WindowId id, ShowState state)
{
    const HWND window = handleOf(id);
    if (!IsWindow(window))
        return false;
    const UINT show = state == ShowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOWMAXIMIZED;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window, &placement)) {
        placement.showCmd = show;
        if (SetWindowPlacement(window, &placement) && inState(window, state))
            return true;
    }
    // Refused for another program's window (Wine does): ask without waiting
    // on a browser that may hang, then read the state back.
    ShowWindowAsync(window, int(show));
    const ULONGLONG deadline = GetTickCount64() + kReadBackMs;
    while (!inState(window, state)) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(5);
    }
    return true;
}

} // namespace zd
