#include "sitelist/sitestore.h"

#include <QStringEncoder>

#include <cstring>

namespace zd {

namespace {
constexpr std::size_t kBlockSize = std::size_t(4) << 20;
// Items past this size get a block of their own instead of ending one early.
constexpr std::size_t kOwnBlock = kBlockSize / 8;
} // namespace

SiteStore::SiteStore(const SiteStore &other) : m_spans(other.m_spans), m_open(other.m_open)
{
    m_blocks.reserve(other.m_blocks.size());
    for (const Block &block : other.m_blocks) {
        Block copy;
        copy.data = std::make_unique_for_overwrite<char[]>(block.capacity);
        std::memcpy(copy.data.get(), block.data.get(), block.used);
        copy.used = block.used;
        copy.capacity = block.capacity;
        m_blocks.push_back(std::move(copy));
    }
}

std::uint32_t SiteStore::reserve(std::size_t length)
{
    const auto addBlock = [this](std::size_t capacity) {
        Block block;
        block.data = std::make_unique_for_overwrite<char[]>(capacity);
        block.capacity = capacity;
        m_blocks.push_back(std::move(block));
        return std::uint32_t(m_blocks.size() - 1);
    };
    if (length > kOwnBlock)
        return addBlock(length);
    if (m_open == UINT32_MAX || m_blocks[m_open].capacity - m_blocks[m_open].used < length)
        m_open = addBlock(kBlockSize);
    return m_open;
}

void SiteStore::append(QByteArrayView bytes)
{
    const auto length = std::size_t(bytes.size());
    const std::uint32_t index = reserve(length);
    Block &block = m_blocks[index];
    if (length)
        std::memcpy(block.data.get() + block.used, bytes.data(), length);
    m_spans.push_back({index, std::uint32_t(block.used), length});
    block.used += length;
}

void SiteStore::appendUtf8(QStringView text)
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const auto room = std::size_t(encoder.requiredSpace(text.size()));
    const std::uint32_t index = reserve(room);
    Block &block = m_blocks[index];
    char *start = block.data.get() + block.used;
    char *end = text.isEmpty() ? start : encoder.appendToBuffer(start, text);
    const auto length = std::size_t(end - start);
    m_spans.push_back({index, std::uint32_t(block.used), length});
    block.used += length;
}

void SiteStore::erase(qsizetype i)
{
    // The bytes stay in their block until the list is cleared: a removal
    // never moves what other items point into.
    m_spans.erase(m_spans.begin() + i);
}

void SiteStore::clear()
{
    std::deque<Span>().swap(m_spans);
    std::vector<Block>().swap(m_blocks);
    m_open = UINT32_MAX;
}

} // namespace zd
