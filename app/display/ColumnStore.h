#pragma once
// The roll screens' column store: the stream folded to one entry per pixel column,
// kept in four rings (last sample, maximum, minimum, average) written at one index.
// Qt-free, so it is tested and benchmarked without a display.
#include <array>
#include <cstdint>

#include "ScreenSettings.h"

namespace rollmode::display {

// Column entries whose high byte is 0xFF are markers; the low byte tells the kind.
inline constexpr uint16_t kGapColumn = 0xFFFF;     // a settings record in the stream
inline constexpr uint16_t kMarkerColumn1 = 0xFF01;  // stream word 1
inline constexpr uint16_t kMarkerColumn2 = 0xFF02;  // stream word 2 (run collapses to one)

constexpr bool IsMarkerEntry(uint16_t entry) { return (entry >> 8) == 0xFF; }

// Samples folded into one column: Round((R div 50) x D), ties to even. Never below
// 1, so a step combination the model should have refused cannot stall the fold.
int64_t SamplesPerColumnOf(int32_t smpSetting, int32_t dspSetting);

// Pixel row of a stored byte: Round(v x scale), ties to even.
int PixelRow(int v, double verticalScale);

class TColumnStore {
public:
    static constexpr int kColumns = 2048;
    static constexpr int kMask = kColumns - 1;

    enum Buffer { LastSample = 0, Maximum = 1, Minimum = 2, Average = 3 };

    TColumnStore();

    // Fold count words; returns the new columns modulo 2048. Samples of an unfinished
    // column carry over to the next call; so does the unread rest of a settings record
    // that the block end cut (the stream may split a record where the ring wraps).
    int AccumulateSamples(const uint16_t* words, uint32_t count, int64_t samplesPerColumn);

    // The screens' entry point. A block that would make more than maxColumns columns
    // (count div samplesPerColumn > maxColumns) is cut to its newest
    // maxColumns x samplesPerColumn words, moved forward to the end of a settings
    // record when the cut falls inside one. The dropped words are walked only for
    // their records: a dropped settings record still stores one gap column, a dropped
    // word 1 (data lost before the host) one marker column, so a change of settings or
    // a loss stays visible. The partly built column is dropped with them. maxColumns
    // is held below 2047 so the new columns stay countable in the ring. Returns the
    // columns stored, not reduced modulo 2048.
    int64_t FoldBlock(const uint16_t* words, uint32_t count, int64_t samplesPerColumn, int maxColumns);

    // Start of acquisition: empty store and cleared accumulator.
    void Reset();
    // Clear request: empty store, the accumulator (a partly built column) is kept.
    void Clear();

    uint16_t Entry(Buffer buffer, int index) const { return buffers_[buffer][index & kMask]; }
    int WriteIndex() const { return writeIndex_; }
    bool Wrapped() const { return wrapped_; }
    bool Empty() const { return writeIndex_ == 0 && !wrapped_; }
    // Entries that hold columns: 2048 once wrapped.
    int StoredCount() const { return wrapped_ ? kColumns : writeIndex_; }
    // Columns stored since construction (not reduced modulo 2048).
    uint64_t TotalColumns() const { return totalColumns_; }

    // Accumulator, for inspection.
    int64_t AccumulatedSamples() const { return n_; }
    uint64_t SumA() const { return sumA_; }
    uint64_t SumB() const { return sumB_; }

private:
    void StoreMarker(uint16_t entry);
    void Advance(uint32_t steps);
    void ClearAccumulator();
    void EmitColumn(uint16_t lastWord);
    uint16_t PreviousEntry() const { return buffers_[LastSample][(writeIndex_ - 1) & kMask]; }
    void FoldRunOfSingles(const uint16_t* words, uint32_t count);
    uint32_t AccumulateChunk(const uint16_t* words, uint32_t count);
    uint32_t ConsumePending(const uint16_t* words, uint32_t count);
    uint32_t HandleSpecial(const uint16_t* words, uint32_t count, uint32_t i);

    std::array<std::array<uint16_t, kColumns>, 4> buffers_{};
    int writeIndex_ = 0;
    bool wrapped_ = false;
    uint64_t totalColumns_ = 0;

    // Column accumulator; sums are 64-bit because a column can span 10^9 samples.
    int64_t n_ = 0;
    uint64_t sumA_ = 0, sumB_ = 0;
    uint32_t minA_ = 255, maxA_ = 0, minB_ = 255, maxB_ = 0;

    // Words of a settings record still to skip at the start of the next block, and
    // whether the record's length word itself is still to come.
    uint32_t pendingSkip_ = 0;
    bool pendingLength_ = false;
};

}  // namespace rollmode::display
