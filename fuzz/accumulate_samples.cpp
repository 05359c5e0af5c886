// The column store's fold on arbitrary streams. The stream may be cut into blocks
// anywhere, so folding it in fuzz-chosen blocks must store exactly what folding it in
// one block stores. FoldBlock (which drops words when a block is too long) is run on
// the same blocks for memory safety and its bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ColumnStore.h"

using rollmode::display::TColumnStore;

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

bool SameStore(const TColumnStore& a, const TColumnStore& b) {
    if (a.WriteIndex() != b.WriteIndex() || a.Wrapped() != b.Wrapped() || a.TotalColumns() != b.TotalColumns() ||
        a.AccumulatedSamples() != b.AccumulatedSamples() || a.SumA() != b.SumA() || a.SumB() != b.SumB())
        return false;
    for (int buffer = 0; buffer < 4; ++buffer)
        for (int i = 0; i < TColumnStore::kColumns; ++i)
            if (a.Entry(TColumnStore::Buffer(buffer), i) != b.Entry(TColumnStore::Buffer(buffer), i)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TColumnStore* whole = new TColumnStore;
    static TColumnStore* split = new TColumnStore;
    static TColumnStore* folded = new TColumnStore;
    FuzzedDataProvider p(data, size);
    const int64_t k = p.ConsumeBool() ? p.ConsumeIntegralInRange<int64_t>(-2, 8)
                                      : rollmode::display::SamplesPerColumnOf(p.ConsumeIntegral<int32_t>(),
                                                                              p.ConsumeIntegral<int32_t>());
    const int maxColumns = p.ConsumeIntegralInRange<int>(-1, 2100);
    std::vector<uint32_t> cuts;
    for (int n = p.ConsumeIntegralInRange<int>(0, 8); n > 0; --n) cuts.push_back(p.ConsumeIntegral<uint16_t>());
    // Small codes are the interesting ones: 0 starts a record, 1 and 2 are markers.
    std::vector<uint16_t> words;
    while (p.remaining_bytes() > 0) {
        const uint8_t b = p.ConsumeIntegral<uint8_t>();
        words.push_back(b < 0x40 ? uint16_t(b % 8) : uint16_t(b | (p.ConsumeIntegral<uint8_t>() << 8)));
    }
    whole->Reset();
    split->Reset();
    folded->Reset();

    const uint32_t total = static_cast<uint32_t>(words.size());
    const int wholeColumns = whole->AccumulateSamples(words.data(), total, k);
    Check(wholeColumns >= 0 && wholeColumns < TColumnStore::kColumns, "column count out of range");

    uint32_t at = 0;
    for (size_t c = 0; c <= cuts.size(); ++c) {
        const uint32_t n = c < cuts.size() ? std::min(cuts[c], total - at) : total - at;
        // A block of its own, so reading past its end is caught.
        std::vector<uint16_t> block(words.begin() + at, words.begin() + at + n);
        const int made = split->AccumulateSamples(block.data(), n, k);
        Check(made >= 0 && made < TColumnStore::kColumns, "column count out of range");
        const int64_t foldedColumns = folded->FoldBlock(block.data(), n, k, maxColumns);
        Check(foldedColumns >= 0, "negative column count");
        Check(folded->WriteIndex() >= 0 && folded->WriteIndex() < TColumnStore::kColumns, "write index out of range");
        at += n;
    }
    Check(SameStore(*whole, *split), "folding in blocks differs from folding at once");
    return 0;
}
