#include "sitelist/sitestore.h"

#include "core/system.h"

#include <QHashFunctions>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <new>

namespace zd {

namespace {

// Pages are put in place this much at a time, ahead of the writing.
constexpr std::size_t kStretch = std::size_t(256) << 10;

// Blocks and record pages come straight from the system; their pages are
// put in place a stretch at a time just before they are written (populate,
// prepareSpans): one call per stretch instead of a fault per page, and the
// fresh pages still in the cache when the items land in them.
void *allocate(std::size_t bytes)
{
    return sys::allocatePages(bytes);
}

} // namespace

bool operator==(const SiteBytes &a, const SiteBytes &b)
{
    if (a.size() != b.size())
        return false;
    if (a.head.size() == b.head.size())
        return a.head == b.head && a.tail == b.tail;
    // Split apart: the longer head is the shorter one and the start of its tail.
    const SiteBytes &shorter = a.head.size() < b.head.size() ? a : b;
    const SiteBytes &longer = &shorter == &a ? b : a;
    const qsizetype over = longer.head.size() - shorter.head.size();
    return longer.head.first(shorter.head.size()) == shorter.head
           && longer.head.sliced(shorter.head.size()) == shorter.tail.first(over)
           && longer.tail == shorter.tail.sliced(over);
}

size_t qHash(const SiteBytes &bytes, size_t seed)
{
    if (bytes.head.isEmpty())
        return ::qHash(bytes.tail, seed);
    // Hashed as one piece, so that the same bytes hash alike however split;
    // a page's links fit the buffer.
    char joined[512];
    if (bytes.size() > qsizetype(sizeof joined))
        return ::qHash(QByteArrayView(bytes.joined()), seed);
    std::memcpy(joined, bytes.head.data(), size_t(bytes.head.size()));
    if (!bytes.tail.isEmpty())
        std::memcpy(joined + bytes.head.size(), bytes.tail.data(), size_t(bytes.tail.size()));
    return ::qHash(QByteArrayView(joined, bytes.size()), seed);
}

void SiteStore::Unmap::operator()(void *memory) const
{
    sys::freePages(memory, bytes);
}

void SiteStore::populate(Block &block, std::size_t upTo)
{
    if (upTo <= block.populated)
        return;
    const std::size_t page = sys::pageSize();
    const std::size_t top =
        qMin((upTo + kStretch - 1) / kStretch * kStretch, (block.capacity + page - 1) / page * page);
    sys::populatePages(block.data.get() + block.populated, top - block.populated);
    block.populated = top;
}

void SiteStore::prepareSpans()
{
    if (m_size == qsizetype(m_pages.size()) * kPageSpans)
        addPage();
    Span *stretch = &m_pages.back()[m_size & (kPageSpans - 1)];
    sys::populatePages(stretch, sizeof(Span) * kStretchSpans);
}

void SiteStore::addPage()
{
    constexpr std::size_t bytes = sizeof(Span) * kPageSpans;
    m_pages.emplace_back(static_cast<Span *>(allocate(bytes)), Unmap{bytes});
}

SiteStore::SiteStore(const SiteStore &other)
    : m_size(other.m_size), m_open(other.m_open), m_openPrefix(other.m_openPrefix)
{
    m_blocks.reserve(other.m_blocks.size());
    for (const Block &block : other.m_blocks) {
        Block copy;
        copy.data = std::unique_ptr<char[], Unmap>(static_cast<char *>(allocate(block.capacity)),
                                                   Unmap{block.capacity});
        std::memcpy(copy.data.get(), block.data.get(), block.used);
        copy.used = block.used;
        copy.capacity = block.capacity;
        copy.prefix = block.prefix; // shared: the same data, so m_openPrefix holds
        m_blocks.push_back(std::move(copy));
    }
    m_pages.reserve(other.m_pages.size());
    for (size_t page = 0; page < other.m_pages.size(); ++page) {
        addPage();
        const qsizetype used = qMin(kPageSpans, m_size - qsizetype(page) * kPageSpans);
        std::memcpy(m_pages.back().get(), other.m_pages[page].get(), sizeof(Span) * size_t(used));
    }
}

std::uint32_t SiteStore::reserve(std::size_t length, const QByteArray *prefix)
{
    const auto addBlock = [&](std::size_t capacity) {
        if (m_blocks.size() == kMaxBlocks)
            throw std::bad_alloc();
        Block block;
        const std::size_t bytes = qMax<std::size_t>(capacity, 1);
        block.data = std::unique_ptr<char[], Unmap>(static_cast<char *>(allocate(bytes)), Unmap{bytes});
        block.capacity = capacity;
        if (prefix)
            block.prefix = *prefix;
        m_blocks.push_back(std::move(block));
        return std::uint32_t(m_blocks.size() - 1);
    };
    // Items past this size get a block of their own instead of ending one
    // early; so do all whose length their record cannot hold.
    constexpr std::size_t kOwnBlock = kBlockSize / 32;
    static_assert(kOwnBlock < kLongItem);
    if (length > kOwnBlock)
        return addBlock(length);
    if (m_open == UINT32_MAX || m_blocks[m_open].capacity - m_blocks[m_open].used < length) {
        m_open = addBlock(kBlockSize);
    } else if (prefix) {
        // The block's first, or the same bytes (appendAfterAnew): shared from now on.
        m_blocks[m_open].prefix = *prefix;
    }
    m_openPrefix = m_blocks[m_open].prefix.isNull() ? nullptr : m_blocks[m_open].prefix.constData();
    return m_open;
}

template<class Write>
void SiteStore::appendWith(std::size_t room, const QByteArray *prefix, Write &&write)
{
    // The record's page first: a failure leaves no bytes without an item.
    if (m_size == qsizetype(m_pages.size()) * kPageSpans)
        addPage();
    const std::uint32_t index = reserve(room, prefix);
    Block &block = m_blocks[index];
    populate(block, block.used + room);
    const std::size_t length = write(block.data.get() + block.used);
    pushSpan(Span::of(index, block.used, length, prefix != nullptr));
    block.used += length;
    if (index == m_open)
        m_ready = qMin(block.populated, block.capacity) - block.used;
}

void SiteStore::appendAnew(QByteArrayView head, QByteArrayView tail)
{
    const auto length = std::size_t(head.size() + tail.size());
    appendWith(length, nullptr, [&](char *out) {
        copyShort(out, head);
        copyShort(out + head.size(), tail);
        return length;
    });
}

void SiteStore::appendAfterAnew(const QByteArray &prefix, QByteArrayView tail)
{
    // A block keeps one prefix: after another one's items, this item is
    // written whole until a block begins.
    const bool otherPrefix =
        m_open != UINT32_MAX && !m_blocks[m_open].prefix.isNull() && m_blocks[m_open].prefix != prefix;
    if (prefix.isEmpty() || otherPrefix) {
        appendAnew(prefix, tail);
        return;
    }
    const auto length = std::size_t(tail.size());
    appendWith(length, &prefix, [&](char *out) {
        copyShort(out, tail);
        return length;
    });
}

void SiteStore::appendUtf8(QStringView text)
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    appendWith(std::size_t(encoder.requiredSpace(text.size())), nullptr, [&](char *out) {
        return text.isEmpty() ? std::size_t(0) : std::size_t(encoder.appendToBuffer(out, text) - out);
    });
}

void SiteStore::splice(SiteStore &&other, qsizetype count)
{
    count = qBound(qsizetype(0), count, other.m_size);
    if (m_blocks.size() + other.m_blocks.size() > kMaxBlocks)
        throw std::bad_alloc();
    const std::size_t base = m_blocks.size();
    m_blocks.reserve(m_blocks.size() + other.m_blocks.size());
    for (Block &block : other.m_blocks)
        m_blocks.push_back(std::move(block));
    for (qsizetype i = 0; i < count; ++i) {
        const Span item = other.span(i);
        pushSpan(Span::of(base + item.block(), item.offset(), item.length(), item.prefixed()));
    }
    other.clear();
}

bool SiteStore::hasPrefixes() const
{
    return std::any_of(m_blocks.begin(), m_blocks.end(),
                       [](const Block &block) { return !block.prefix.isNull(); });
}

void SiteStore::erase(qsizetype i)
{
    // The bytes stay in their block until the list is cleared: a removal
    // never moves what other items point into; only the records close up.
    for (qsizetype at = i; at + 1 < m_size;) {
        const qsizetype pageEnd = qMin(m_size, ((at >> kPageShift) + 1) << kPageShift);
        Span *here = &span(at);
        const qsizetype inPage = pageEnd - at - 1;
        std::memmove(here, here + 1, sizeof(Span) * size_t(inPage));
        at += inPage;
        if (at + 1 < m_size)
            span(at) = span(at + 1); // the next page's first comes over
        ++at;
    }
    shrinkTo(m_size - 1);
}

qsizetype SiteStore::firstUnmarked(const std::vector<char> &keep) const
{
    const qsizetype marked = qMin(m_size, qsizetype(keep.size()));
    const void *zero = marked > 0 ? std::memchr(keep.data(), 0, size_t(marked)) : nullptr;
    if (!zero)
        return m_size;
    const qsizetype at = static_cast<const char *>(zero) - keep.data();
    return at;
}

qsizetype SiteStore::retainMarked(const std::vector<char> &keep)
{
    const qsizetype marked = qMin(m_size, qsizetype(keep.size()));
    // Nothing moves before the first item that goes; then page by page,
    // as this pass is all the window waits for.
    qsizetype kept = firstUnmarked(keep);
    if (kept == m_size)
        return 0;
    Span *to = &span(kept);
    qsizetype toLeft = kPageSpans - (kept & (kPageSpans - 1));
    for (qsizetype i = kept; i < m_size;) {
        const Span *from = &span(i);
        const qsizetype end = qMin(m_size, (i | (kPageSpans - 1)) + 1);
        for (; i < end; ++i, ++from) {
            // Without a branch on the mark, which a list of random
            // duplicates would mispredict: written always, counted if kept.
            const qsizetype stays = (i >= marked || keep[size_t(i)] != 0) ? 1 : 0;
            *to = *from;
            to += stays;
            toLeft -= stays;
            kept += stays;
            if (toLeft == 0 && kept < m_size) {
                to = &span(kept);
                toLeft = kPageSpans;
            }
        }
    }
    const qsizetype removed = m_size - kept;
    shrinkTo(kept);
    return removed;
}

void SiteStore::shrinkTo(qsizetype count)
{
    m_size = count;
    m_pages.resize(size_t((count + kPageSpans - 1) >> kPageShift));
}

void SiteStore::clear()
{
    std::vector<std::unique_ptr<Span[], Unmap>>().swap(m_pages);
    std::vector<Block>().swap(m_blocks);
    m_size = 0;
    m_open = UINT32_MAX;
    m_ready = 0;
    m_openPrefix = nullptr;
}

} // namespace zd
