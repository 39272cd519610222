#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace zd {

/// Items as their own bytes, packed into large blocks with one small record
/// per item: no allocation per item, and no block ever moves, so growing to
/// millions of items never copies what is already stored.
class SiteStore
{
public:
    SiteStore() = default;
    SiteStore(const SiteStore &other);
    SiteStore &operator=(const SiteStore &) = delete;

    qsizetype size() const { return qsizetype(m_spans.size()); }
    /// Item \a i, 0 to size() - 1; valid until the store next changes.
    QByteArrayView at(qsizetype i) const
    {
        const Span &span = m_spans[size_t(i)];
        return {m_blocks[span.block].data.get() + span.offset, qsizetype(span.length)};
    }
    void append(QByteArrayView bytes);
    /// Appends the UTF-8 of \a text, encoded straight into the store.
    void appendUtf8(QStringView text);
    void erase(qsizetype i);
    /// Keeps the items \a keep says yes to, in order; the number removed.
    /// Each item is asked once, before anything moves.
    template<class Keep>
    qsizetype retainIf(Keep &&keep)
    {
        size_t kept = 0;
        for (size_t i = 0; i < m_spans.size(); ++i) {
            const Span &span = m_spans[i];
            if (!keep(QByteArrayView(m_blocks[span.block].data.get() + span.offset, qsizetype(span.length))))
                continue;
            m_spans[kept++] = span;
        }
        const auto removed = qsizetype(m_spans.size() - kept);
        m_spans.resize(kept);
        return removed;
    }
    void clear();

private:
    struct Span
    {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint64_t length;
    };
    struct Block
    {
        std::unique_ptr<char[]> data;
        std::size_t used = 0;
        std::size_t capacity = 0;
    };
    /// Room for \a length bytes; the block it is in.
    std::uint32_t reserve(std::size_t length);

    std::vector<Block> m_blocks;
    std::deque<Span> m_spans;
    /// The block small items go into; large ones get a block of their own.
    std::uint32_t m_open = UINT32_MAX;
};

} // namespace zd
