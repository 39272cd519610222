#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace zd {

/// An item's bytes: the start it shares with the other links of its page
/// (none for most items), then its own.
struct SiteBytes
{
    QByteArrayView head;
    QByteArrayView tail;

    qsizetype size() const { return head.size() + tail.size(); }
    bool isEmpty() const { return size() == 0; }
    /// The bytes in one piece; without a copy when there is no head.
    QByteArray joined() const
    {
        if (head.isEmpty())
            return QByteArray::fromRawData(tail.data(), tail.size());
        QByteArray bytes;
        bytes.reserve(size());
        return bytes.append(head).append(tail);
    }
    QByteArray toByteArray() const { return head.isEmpty() ? tail.toByteArray() : joined(); }
    friend bool operator==(const SiteBytes &a, const SiteBytes &b);
    friend bool operator!=(const SiteBytes &a, const SiteBytes &b) { return !(a == b); }
    friend bool operator==(const SiteBytes &a, QByteArrayView b) { return a == SiteBytes{{}, b}; }
    friend bool operator!=(const SiteBytes &a, QByteArrayView b) { return !(a == b); }
};
/// The same for the same bytes however they are split.
size_t qHash(const SiteBytes &bytes, size_t seed = 0);

/// Items as their own bytes, packed into large blocks with one 8-byte
/// record per item, the records in pages of their own: no allocation per
/// item, and nothing stored ever moves as the store grows, so a list of
/// millions never copies what it holds.
class SiteStore
{
public:
    SiteStore() = default;
    SiteStore(const SiteStore &other);
    SiteStore &operator=(const SiteStore &) = delete;

    qsizetype size() const { return m_size; }
    /// Item \a i, 0 to size() - 1; valid until the store next changes.
    SiteBytes at(qsizetype i) const
    {
        const Span item = span(i);
        const Block &block = m_blocks[item.block()];
        const std::size_t length = item.length() == kLongItem ? block.used : item.length();
        return {item.prefixed() ? QByteArrayView(block.prefix) : QByteArrayView(),
                {block.data.get() + item.offset(), qsizetype(length)}};
    }
    void append(QByteArrayView bytes) { append(bytes, {}); }
    /// Appends \a head followed by \a tail as one item.
    void append(QByteArrayView head, QByteArrayView tail)
    {
        const auto length = std::size_t(head.size() + tail.size());
        // Most items fit where the last one ended, in memory and a stretch
        // of records already in place: a page of links adds millions. (No
        // room at all may also mean no open block.)
        if (length >= m_ready || (m_size & (kStretchSpans - 1)) == 0) {
            appendAnew(head, tail);
            return;
        }
        Block &block = m_blocks[m_open];
        char *const out = block.data.get() + block.used;
        copyShort(out, head);
        copyShort(out + head.size(), tail);
        span(m_size++) = Span::of(m_open, block.used, length, false); // its stretch is in place
        block.used += length;
        m_ready -= length;
    }
    /// Appends \a prefix followed by \a tail as one item, \a prefix kept
    /// once for all the items that follow with the same one: the links of a
    /// page, which all start with its address.
    void appendAfter(const QByteArray &prefix, QByteArrayView tail)
    {
        const auto length = std::size_t(tail.size());
        if (length >= m_ready || (m_size & (kStretchSpans - 1)) == 0 || prefix.constData() != m_openPrefix) {
            appendAfterAnew(prefix, tail);
            return;
        }
        Block &block = m_blocks[m_open];
        copyShort(block.data.get() + block.used, tail);
        span(m_size++) = Span::of(m_open, block.used, length, true);
        block.used += length;
        m_ready -= length;
    }
    /// Appends the UTF-8 of \a text, encoded straight into the store.
    void appendUtf8(QStringView text);
    /// Appends the first \a count items of \a other (all of them when it
    /// has fewer) by taking over its blocks: no item's bytes are copied.
    /// \a other is left empty.
    void splice(SiteStore &&other, qsizetype count);
    /// Exchanges the contents of the two stores; allocates nothing.
    void swap(SiteStore &other) noexcept
    {
        m_blocks.swap(other.m_blocks);
        m_pages.swap(other.m_pages);
        std::swap(m_size, other.m_size);
        std::swap(m_open, other.m_open);
        std::swap(m_ready, other.m_ready);
        std::swap(m_openPrefix, other.m_openPrefix);
    }
    /// Whether an item may start with its block's prefix: when not, every
    /// item's head is empty.
    bool hasPrefixes() const;
    void erase(qsizetype i);
    /// Keeps the items whose mark in \a keep is not 0, in order, and those
    /// beyond its end; the number removed.
    qsizetype retainMarked(const std::vector<char> &keep);
    /// The first item whose mark in \a keep is 0; size() when there is none.
    qsizetype firstUnmarked(const std::vector<char> &keep) const;
    void clear();

private:
    static constexpr int kOffsetBits = 22;
    static constexpr std::size_t kBlockSize = std::size_t(1) << kOffsetBits; // 4 MiB
    static constexpr int kLengthBits = 18;
    /// A length this large or more is told by the item's block, which
    /// holds that item alone.
    static constexpr std::size_t kLongItem = (std::size_t(1) << kLengthBits) - 1;
    static constexpr int kBlockShift = kOffsetBits + kLengthBits + 1;
    static constexpr std::size_t kMaxBlocks = std::size_t(1) << (64 - kBlockShift);
    /// An item's block, whether its block's prefix comes first, its offset
    /// there and its length, in eight bytes: a list of millions of short
    /// items is mostly these records.
    struct Span
    {
        static_assert(sizeof(std::size_t) == 8);
        static constexpr std::size_t kPrefixed = std::size_t(1) << (kOffsetBits + kLengthBits);
        std::size_t bits;
        static Span of(std::size_t block, std::size_t offset, std::size_t length, bool prefixed)
        {
            return {(block << kBlockShift) | (prefixed ? kPrefixed : 0) | (offset << kLengthBits)
                    | qMin(length, kLongItem)};
        }
        std::uint32_t block() const { return std::uint32_t(bits >> kBlockShift); }
        bool prefixed() const { return (bits & kPrefixed) != 0; }
        std::size_t offset() const { return (bits >> kLengthBits) & (kBlockSize - 1); }
        std::size_t length() const { return bits & kLongItem; }
    };
    struct Unmap
    {
        std::size_t bytes;
        void operator()(void *memory) const;
    };
    struct Block
    {
        std::unique_ptr<char[], Unmap> data;
        std::size_t used = 0;
        std::size_t capacity = 0;
        std::size_t populated = 0;
        /// What the block's prefixed items start with.
        QByteArray prefix;
    };
    static constexpr int kPageShift = 17; // 131,072 records: 1 MiB a page
    static constexpr qsizetype kPageSpans = qsizetype(1) << kPageShift;
    static constexpr qsizetype kStretchSpans = 16384; // 128 KiB of records

    Span &span(qsizetype i) { return m_pages[size_t(i >> kPageShift)][i & (kPageSpans - 1)]; }
    const Span &span(qsizetype i) const { return m_pages[size_t(i >> kPageShift)][i & (kPageSpans - 1)]; }
    /// Room for \a length bytes, in a block whose prefix is \a prefix
    /// when that is not null; the block it is in.
    std::uint32_t reserve(std::size_t length, const QByteArray *prefix);
    void pushSpan(Span item)
    {
        if ((m_size & (kStretchSpans - 1)) == 0)
            prepareSpans();
        span(m_size++) = item;
    }
    void appendAnew(QByteArrayView head, QByteArrayView tail);
    void appendAfterAnew(const QByteArray &prefix, QByteArrayView tail);
    /// memcpy without the call for the few bytes most items have; any
    /// length, and none (whose data may be null).
    static void copyShort(char *out, QByteArrayView bytes)
    {
        const char *const from = bytes.data();
        const auto n = std::size_t(bytes.size());
        // Two copies that overlap in the middle cover any length between
        // one size and twice it.
        if (n > 32 && n <= 64) {
            std::memcpy(out, from, 32);
            std::memcpy(out + n - 32, from + n - 32, 32);
        } else if (n >= 16 && n <= 32) {
            std::memcpy(out, from, 16);
            std::memcpy(out + n - 16, from + n - 16, 16);
        } else if (n >= 8 && n < 16) {
            std::memcpy(out, from, 8);
            std::memcpy(out + n - 8, from + n - 8, 8);
        } else if (n != 0) {
            std::memcpy(out, from, n);
        }
    }
    void shrinkTo(qsizetype count);
    void addPage();
    /// Appends one item of at most \a room bytes, written by \a write into
    /// the store after \a prefix when that is not null; \a write returns
    /// how many it wrote.
    template<class Write>
    void appendWith(std::size_t room, const QByteArray *prefix, Write &&write);
    /// A new page when the last is full, and the next stretch of records in place.
    void prepareSpans();
    static void populate(Block &block, std::size_t upTo);

    std::vector<Block> m_blocks;
    std::vector<std::unique_ptr<Span[], Unmap>> m_pages;
    qsizetype m_size = 0;
    /// The block small items go into; large ones get a block of their own.
    std::uint32_t m_open = UINT32_MAX;
    /// Bytes of the open block in place and not yet written.
    std::size_t m_ready = 0;
    /// The open block's prefix, as the fast append compares it; null when
    /// it has none. (Not the prefix's own constData(): a null QByteArray's
    /// is that of an empty one, which an item after no prefix would match.)
    const char *m_openPrefix = nullptr;
};

} // namespace zd
