// The list's byte store against a vector of byte strings: the input is a
// program of appends (of every size, past block edges, after shared
// prefixes), erases, filters, copies, splices and clears; after every step
// both hold the same items.
#include "fuzzcheck.h"
#include "sitelist/sitestore.h"

#include <QByteArray>
#include <QHashFunctions>

#include <algorithm>
#include <vector>

namespace {

// However an item is split, it hashes as its bytes do.
bool sameItem(const zd::SiteStore &store, const std::vector<QByteArray> &items, size_t i)
{
    const zd::SiteBytes item = store.at(qsizetype(i));
    return item == items[i] && qHash(item, 7) == qHash(QByteArrayView(items[i]), 7);
}

// The count and up to 64 items spread over the list, from \a first on:
// every item while the list is short. \a first 0 and \a all: every item.
bool same(const zd::SiteStore &store, const std::vector<QByteArray> &items, size_t first = 0, bool all = true)
{
    if (store.size() != qsizetype(items.size()))
        return false;
    const size_t stride = all ? 1 : items.size() / 64 + 1;
    for (size_t i = first % stride; i < items.size(); i += stride) {
        if (!sameItem(store, items, i))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zd::SiteStore store;
    std::vector<QByteArray> items;
    unsigned steps = 0;
    unsigned splices = 0;
    for (size_t at = 0; at + 2 <= size;) {
        const uint8_t op = data[at] % 9;
        const uint8_t arg = data[at + 1];
        at += 2;
        switch (op) {
        case 0:
        case 1: { // append the next arg bytes, or a large item of them repeated
            const size_t n = qMin<size_t>(arg, size - at);
            QByteArray item(reinterpret_cast<const char *>(data + at), qsizetype(n));
            at += n;
            if (op == 1)
                item = item.repeated(1 + arg * 40); // up to some MiB: past a block's end
            store.append(item);
            items.push_back(item);
            break;
        }
        case 2: { // an item of two halves
            const QByteArray head(arg % 5, 'h');
            const QByteArray tail(arg / 5 % 7, 't');
            store.append(head, tail);
            items.push_back(head + tail);
            break;
        }
        case 3:
            if (!items.empty()) {
                const size_t i = arg % items.size();
                store.erase(qsizetype(i));
                items.erase(items.begin() + qsizetype(i));
            }
            break;
        case 4: { // keep those whose length differs from arg's remainder
            // Marks for all items but the last arg % 4, which stay.
            const auto keep = [arg](QByteArrayView bytes) { return bytes.size() % 3 != arg % 3; };
            std::vector<char> marks;
            const size_t markedCount = items.size() - std::min<size_t>(items.size(), arg % 4);
            for (size_t i = 0; i < markedCount; ++i)
                marks.push_back(keep(items[i]) ? 1 : 0);
            const qsizetype removed = store.retainMarked(marks);
            const auto before = items.size();
            size_t index = 0;
            std::erase_if(items, [&](const QByteArray &) {
                const size_t i = index++;
                return i < markedCount && marks[i] == 0;
            });
            ZD_FUZZ_CHECK(removed == qsizetype(before - items.size()));
            break;
        }
        case 5: { // a copy is equal and independent
            const zd::SiteStore copy(store);
            ZD_FUZZ_CHECK(same(copy, items, steps, false));
            break;
        }
        case 6: { // after a prefix: none, two of the same bytes apart, another
            static const QByteArray prefixes[] = {QByteArray(), QByteArray("http://a/"),
                                                  QByteArray("http://a/"),
                                                  QByteArray("https://bb.example/dir/")};
            const QByteArray &prefix = prefixes[arg % 4];
            const QByteArray tail(arg == 255 ? 140'000 : arg / 4 % 9, 'r'); // or one of a block of its own
            store.appendAfter(prefix, tail);
            items.push_back(prefix + tail);
            break;
        }
        case 7: { // another store's first items taken over, with its blocks
            if (++splices > 16)
                break; // copies of hundreds of blocks would be all a run did
            zd::SiteStore other;
            std::vector<QByteArray> theirs;
            for (int k = 0; k < arg % 5; ++k) {
                const QByteArray prefix(1 + k % 2, 'p');
                other.appendAfter(prefix, "x");
                other.append("plain");
                theirs.insert(theirs.end(), {prefix + 'x', "plain"});
            }
            const auto count = qsizetype(arg / 5 % 11);
            store.splice(std::move(other), count);
            items.insert(items.end(), theirs.begin(), theirs.begin() + qMin(count, qsizetype(theirs.size())));
            break;
        }
        default:
            if (arg % 16 == 0) {
                store.clear();
                items.clear();
            }
            break;
        }
        // Starting one further each step: a long list's items all in turn.
        ZD_FUZZ_CHECK(same(store, items, steps++, false));
    }
    ZD_FUZZ_CHECK(same(store, items));
    return 0;
}
