// The list's byte store against a vector of byte strings: the input is a
// program of appends (of every size, past block edges), erases, filters,
// copies and clears; after every step both hold the same items.
#include "fuzzcheck.h"
#include "sitelist/sitestore.h"

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace {

bool same(const zd::SiteStore &store, const std::vector<QByteArray> &items)
{
    if (store.size() != qsizetype(items.size()))
        return false;
    for (qsizetype i = 0; i < store.size(); ++i) {
        if (store.at(i) != items[size_t(i)])
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zd::SiteStore store;
    std::vector<QByteArray> items;
    for (size_t at = 0; at + 2 <= size;) {
        const uint8_t op = data[at] % 7;
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
            ZD_FUZZ_CHECK(same(copy, items));
            break;
        }
        default:
            if (arg % 16 == 0) {
                store.clear();
                items.clear();
            }
            break;
        }
        ZD_FUZZ_CHECK(same(store, items));
    }
    return 0;
}
