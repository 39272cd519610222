// The floor for a download under Wine: a page fetched with plain blocking
// winsock calls in 1 MB reads, nothing else. Prints a line as zd_bench does.
//   recvfloor.exe PORT PATH
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: recvfloor PORT PATH\n");
        return 2;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return 1;
    const std::string request = std::string("GET ") + argv[2] + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    send(s, request.data(), int(request.size()), 0);
    std::vector<char> buffer(1 << 20);
    long long bytes = 0;
    for (int n; (n = recv(s, buffer.data(), int(buffer.size()), 0)) > 0;)
        bytes += n;
    closesocket(s);
    QueryPerformanceCounter(&end);
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME &t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    // The bytes with the headers: the caller compares with the page's size.
    std::printf("RESULT recv %.4f %.4f 0 0.0 %lld items\n",
                double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart),
                seconds(kernel) + seconds(user), bytes);
    WSACleanup();
    return 0;
}
