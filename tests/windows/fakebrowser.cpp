// A stand-in for firefox.exe and chrome.exe under Wine, registered under
// App Paths by the test: it writes down the address it got, hands it to an
// instance already running (WM_COPYDATA) and ends with 0, as the real ones
// do, or else opens a top-level window of the real browser's class and
// title and stays until the test's stop file appears.
//   ZD_FAKE_LOG         file that gets "<length>:<UTF-8 address>\n" per address
//   ZD_FAKE_STOP        file whose appearance ends every instance
//   ZD_FAKE_DIALOG=1    show only a message (a #32770 dialog window)
//   ZD_FAKE_CRASH_ONCE  marker file: the first start without it crashes
//   ZD_FAKE_FOLDER_LOG  file that gets the folder it was started in (UTF-16)
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring g_title;
std::wstring g_stopFile;
constexpr UINT_PTR kStopTimer = 1;

std::wstring environment(const wchar_t *name)
{
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, DWORD(std::size(value)));
    return length > 0 && length < std::size(value) ? std::wstring(value, length) : std::wstring();
}

bool fileExists(const std::wstring &path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void logAddress(const std::wstring &address)
{
    const std::wstring log = environment(L"ZD_FAKE_LOG");
    if (log.empty())
        return;
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, address.data(), int(address.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, address.data(), int(address.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    const std::string record = std::to_string(bytes) + ":" + utf8 + "\n";
    // Appends are whole records even when two instances write at once.
    const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, record.data(), DWORD(record.size()), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COPYDATA: {
        const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        logAddress(std::wstring(static_cast<const wchar_t *>(data->lpData), data->cbData / sizeof(wchar_t)));
        return TRUE;
    }
    case WM_TIMER:
        if (fileExists(g_stopFile))
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    if (const std::wstring folderLog = environment(L"ZD_FAKE_FOLDER_LOG"); !folderLog.empty()) {
        wchar_t folder[4 * MAX_PATH];
        const DWORD length = GetCurrentDirectoryW(DWORD(std::size(folder)), folder);
        const HANDLE file =
            CreateFileW(folderLog.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, folder, length * sizeof(wchar_t), &written, nullptr);
            CloseHandle(file);
        }
    }
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    // Every address of its command line, in order, as the real browsers take them.
    std::vector<std::wstring> addresses(argv + std::min(count, 1), argv + count);
    // Its title names the first page, not a flag before it (-new-tab).
    const auto page = std::find_if(addresses.begin(), addresses.end(),
                                   [](const std::wstring &one) { return one.empty() || one[0] != L'-'; });
    const std::wstring address = page == addresses.end() ? L"" : *page;
    std::wstring program = argv[0];
    program = program.substr(program.find_last_of(L"\\/") + 1);
    const bool firefox = _wcsnicmp(program.c_str(), L"firefox", 7) == 0;
    const wchar_t *className = firefox ? L"MozillaWindowClass" : L"Chrome_WidgetWin_1";
    g_title = address + (firefox ? L" \u2014 Mozilla Firefox" : L" - Google Chrome");
    g_stopFile = environment(L"ZD_FAKE_STOP");

    const std::wstring crashMarker = environment(L"ZD_FAKE_CRASH_ONCE");
    if (!crashMarker.empty() && !fileExists(crashMarker)) {
        CloseHandle(CreateFileW(crashMarker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        // Ends as an access violation would, without Wine's crash dialog.
        TerminateProcess(GetCurrentProcess(), DWORD(0xC0000005));
    }

    const bool dialog = environment(L"ZD_FAKE_DIALOG") == L"1";
    if (!dialog) {
        // A browser already running takes the address and this one ends.
        if (const HWND running = FindWindowW(className, nullptr)) {
            bool taken = true;
            for (std::wstring &one : addresses) {
                COPYDATASTRUCT data = {1, DWORD(one.size() * sizeof(wchar_t)), one.data()};
                DWORD_PTR result = 0;
                taken = taken
                        && SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                               SMTO_ABORTIFHUNG, 5000, &result)
                        && result;
            }
            if (taken && !addresses.empty())
                return 0;
        }
    }
    for (const std::wstring &one : addresses)
        logAddress(one);
    if (addresses.empty())
        logAddress(address);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    if (!dialog)
        RegisterClassExW(&windowClass);
    // A message box of the system's own dialog class, as a browser stuck on
    // a question shows.
    const HWND window =
        dialog ? CreateWindowExW(WS_EX_DLGMODALFRAME, L"#32770", (address + L" - Close Firefox").c_str(),
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 300, 120, nullptr,
                                 nullptr, instance, nullptr)
               : CreateWindowExW(0, className, g_title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 2;
    if (dialog)
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProcedure));
    ShowWindow(window, show);
    SetTimer(window, kStopTimer, 100, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    LocalFree(argv);
    return 0;
}
