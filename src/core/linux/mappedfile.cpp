#include "core/mappedfile.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace zd {

namespace {

// The mappings being read; the signal handler looks them up lock-free.
struct Guarded
{
    std::atomic<quintptr> begin{0};
    std::atomic<quintptr> end{0};
    std::atomic<bool> changed{false};
};
constexpr int kSlots = 8;
Guarded g_guarded[kSlots];
struct sigaction g_previous;
quintptr g_pageSize = 4096; // read once, before the handler can run

void onBusError(int signal, siginfo_t *info, void *context)
{
    // Sent by kill or sigqueue, not a fault: it names no address.
    const bool sent = info->si_code <= 0;
    const auto address = sent ? 0 : reinterpret_cast<quintptr>(info->si_addr);
    for (Guarded &slot : g_guarded) {
        const quintptr begin = slot.begin.load();
        const quintptr end = slot.end.load();
        if (sent || address < begin || address >= end)
            continue;
        // The file is shorter now: from the lost page on, zeros take the
        // file's place and the read that faulted goes on over them.
        const quintptr into = address & (g_pageSize - 1);
        char *page = static_cast<char *>(info->si_addr) - into;
        if (::mmap(page, end - address + into, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
            == MAP_FAILED)
            break; // no zeros to be had: end as the fault would have
        slot.changed.store(true);
        return;
    }
    // Not one of ours: whoever handled it before does.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    if (sent && g_previous.sa_handler == SIG_IGN && !(g_previous.sa_flags & SA_SIGINFO))
        return;
    ::signal(SIGBUS, SIG_DFL);
    // A sent signal does not repeat: it is raised again, and the program
    // ends as it would have without the guard. A real fault repeats on
    // return and ends it the same way.
    if (sent)
        ::raise(SIGBUS);
}

void installHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = quintptr(::sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

} // namespace

MappedFile::MappedFile(QFile &file)
{
    const qint64 size = file.size();
    if (size <= 0 || !file.isOpen())
        return;
    installHandler();
    for (int i = 0; i < kSlots; ++i) {
        quintptr free = 0;
        if (g_guarded[i].begin.compare_exchange_strong(free, 1)) {
            m_slot = i;
            break;
        }
    }
    if (m_slot < 0)
        return; // too many at once: the caller reads instead
    void *data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, file.handle(), 0);
    if (data == MAP_FAILED) {
        g_guarded[m_slot].begin.store(0);
        m_slot = -1;
        return;
    }
    ::madvise(data, size_t(size), MADV_SEQUENTIAL);
    m_data = static_cast<const char *>(data);
    m_size = size;
    Guarded &slot = g_guarded[m_slot];
    slot.changed.store(false);
    slot.end.store(reinterpret_cast<quintptr>(m_data) + quintptr(size));
    slot.begin.store(reinterpret_cast<quintptr>(m_data));
}

MappedFile::~MappedFile()
{
    if (m_data)
        ::munmap(const_cast<char *>(m_data), size_t(m_size));
    if (m_slot >= 0) {
        g_guarded[m_slot].end.store(0);
        g_guarded[m_slot].begin.store(0);
    }
}

bool MappedFile::changed() const
{
    return m_slot >= 0 && g_guarded[m_slot].changed.load();
}

void MappedFile::release(qsizetype offset)
{
    const qsizetype page = ::sysconf(_SC_PAGESIZE);
    const qsizetype done = qMin(offset, m_size) / page * page;
    if (!m_data || done <= m_released)
        return;
    ::madvise(const_cast<char *>(m_data) + m_released, size_t(done - m_released), MADV_DONTNEED);
    m_released = done;
}

} // namespace zd
