// Stands in for a browser: records its arguments and, when asked, opens a
// window titled like the browser it pretends to be. No Qt, so it starts fast.
//
// FAKE_BROWSER_LOG   file to append one record per start: the argument count,
//                    then each argument as <length>:<bytes>, then a newline
// FAKE_BROWSER_TITLE suffix for the window title ("<first argument><suffix>");
//                    no window when unset
// FAKE_BROWSER_STOP  the window's process ends once this file exists
// FAKE_BROWSER_WHERE file to write the working folder and where standard
//                    output and error go, a line each
// FAKE_BROWSER_DIALOG its window is a dialog by type, as a browser's
//                    message is ("Close Firefox")
// FAKE_BROWSER_KEPT  file to write what the process was given besides its
//                    arguments: its descriptors above 2 (a line), then its
//                    blocked and ignored signals (SigBlk and SigIgn of
//                    /proc/self/status)
// FAKE_BROWSER_END   how it ends once it has recorded its start: "crash"
//                    (SIGSEGV) or an exit status
// FAKE_BROWSER_END_ONCE with FAKE_BROWSER_END, a file: only the start that
//                    finds it missing ends so, and makes it
#include "support/testwindows.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include <csignal>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    std::string record = std::to_string(argc - 1);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        record += ' ' + std::to_string(arg.size()) + ':' + arg;
    }
    record += '\n';
    if (const char *log = std::getenv("FAKE_BROWSER_LOG")) {
        const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT, 0600);
        if (fd >= 0) {
            // One write per record: O_APPEND keeps concurrent starts apart.
            [[maybe_unused]] const ssize_t written = ::write(fd, record.data(), record.size());
            ::close(fd);
        }
    }
    if (const char *where = std::getenv("FAKE_BROWSER_WHERE")) {
        char buffer[4096];
        std::string text = ::getcwd(buffer, sizeof buffer) ? buffer : "?";
        for (const char *fd : {"/proc/self/fd/1", "/proc/self/fd/2"}) {
            const ssize_t n = ::readlink(fd, buffer, sizeof buffer - 1);
            text += '\n' + std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        const int out = ::open(where, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(out, text.data(), text.size());
            ::close(out);
        }
    }
    if (const char *kept = std::getenv("FAKE_BROWSER_KEPT")) {
        std::string text;
        if (DIR *fds = ::opendir("/proc/self/fd")) {
            while (const dirent *entry = ::readdir(fds)) {
                const int fd = std::atoi(entry->d_name);
                if (entry->d_name[0] != '.' && fd > 2 && fd != ::dirfd(fds))
                    text += std::to_string(fd) + ' ';
            }
            ::closedir(fds);
        }
        text += '\n';
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
                text += line + '\n';
        }
        std::ofstream(kept) << text;
    }
    if (const char *end = std::getenv("FAKE_BROWSER_END")) {
        const char *once = std::getenv("FAKE_BROWSER_END_ONCE");
        if (!once || ::open(once, O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0) {
            if (std::string(end) != "crash")
                return std::atoi(end);
            const struct rlimit noCore = {0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            // Past a sanitizer's handler, which would end it with a status.
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        }
    }
    const char *suffix = std::getenv("FAKE_BROWSER_TITLE");
    if (!suffix)
        return 0;
    zd::test::TestWindows windows;
    if (!windows.connected())
        return 1;
    // The class of a browser's windows is its program's name.
    const std::string self = argv[0];
    windows.setClassName(self.substr(self.rfind('/') + 1));
    if (std::getenv("FAKE_BROWSER_DIALOG"))
        windows.setWindowType("_NET_WM_WINDOW_TYPE_DIALOG");
    const std::string address = argc > 1 ? argv[argc - 1] : "";
    windows.create(address + suffix);
    // Lives like a browser until the test ends it (a minute at most).
    const char *stop = std::getenv("FAKE_BROWSER_STOP");
    for (int i = 0; i < 600 && !(stop && ::access(stop, F_OK) == 0); ++i)
        zd::test::TestWindows::sleepMs(100);
    return 0;
}
