#include "core/system.h"
#include "core/windows/systemerror.h"

#include <new>

#include <windows.h>

namespace zd::sys {

std::size_t pageSize()
{
    static const std::size_t size = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return std::size_t(info.dwPageSize);
    }();
    return size;
}

void *allocatePages(std::size_t bytes)
{
    void *memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void freePages(void *memory, std::size_t)
{
    VirtualFree(memory, 0, MEM_RELEASE);
}

void populatePages(void *, std::size_t)
{
    // Windows has no call to fault in committed private pages ahead of
    // use; they come in as they are first touched.
}

void loadFontConfiguration()
{
    // The system's fonts need no configuration loaded: GDI has them ready.
}

QString systemErrorText(unsigned long code, const QString &subject)
{
    // Without IGNORE_INSERTS a text with an insert ("%1 is not a valid
    // Win32 application.") is refused, and Qt's own helper, which asks that
    // way, falls back to "Unknown error".
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString words = length ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
    if (text)
        LocalFree(text);
    if (words.isEmpty())
        return QStringLiteral("Windows error %1").arg(code);
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    // Inserts are %1 to %99; only the first names anything we know.
    for (int insert = 1; insert <= 9; ++insert) {
        const QString mark = QStringLiteral("%%1").arg(insert);
        words.replace(mark, insert == 1 ? (subject.isEmpty() ? QStringLiteral("It") : subject) : QString());
    }
    return words.simplified();
}

} // namespace zd::sys
