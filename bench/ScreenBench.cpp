// The roll screens at the worst display load: 500 new columns per second (5 MS/s at
// 0.1 s per division, 10,000 samples per column) on a 1600 x 900 screen, fed in
// blocks of 1 ms of data. One iteration is one second of data, so its CPU time per
// second is the share of one core. Drawing is measured alone and with the window
// brought up to date 25 times a second, at three window sizes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include "RollScreenEKGLyraRM.h"
#include "RollScreenShiftLyraRM.h"

using namespace rollmode::display;

namespace {

constexpr int kWidth = 1600, kHeight = 900;
constexpr uint32_t kWordsPerMs = 5000;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

std::vector<uint16_t> Signal(size_t count) {
    std::vector<uint16_t> w(count);
    for (size_t i = 0; i < count; ++i) {
        const int a = 128 + static_cast<int>(100 * std::sin(i * 2e-5));
        const int b = 128 + static_cast<int>(60 * std::sin(i * 7e-5)) + static_cast<int>(i % 7);
        w[i] = static_cast<uint16_t>(a | (b << 8));
    }
    return w;
}

TScreenSettings WorstLoad(bool band, bool lines) {
    TScreenSettings s;
    s.SMPSetting = 15;  // 5,000,000 samples per second
    s.DSPSetting = 0;   // 0.1 s per division: 500 columns per second
    s.MakeMaximum = true;
    s.MakeMinimum = band;
    s.ModeLine = lines;
    return s;
}

template <class Screen>
void FeedOneSecond(benchmark::State& state) {
    const bool band = state.range(0) != 0, lines = state.range(1) != 0;
    const auto words = Signal(kWordsPerMs * 1000);
    auto screen = std::make_unique<Screen>();
    screen->resize(kWidth, kHeight);
    const TScreenSettings settings = WorstLoad(band, lines);
    screen->SetSettingsProvider([settings] { return settings; });
    screen->PrepareDisplay();
    const double cpu0 = ThreadCpuSeconds();
    for (auto _ : state) {
        for (uint32_t block = 0; block < 1000; ++block)
            screen->ProcessBlock(words.data() + block * kWordsPerMs, kWordsPerMs);
    }
    // CPU seconds per second of data, in percent of one core.
    state.counters["core_%"] = 100.0 * (ThreadCpuSeconds() - cpu0) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kWordsPerMs * 1000);
}

void BM_ShiftScreenOneSecond(benchmark::State& state) { FeedOneSecond<TRollScreenShiftLyraRM>(state); }
void BM_EKGScreenOneSecond(benchmark::State& state) { FeedOneSecond<TRollScreenEKGLyraRM>(state); }
BENCHMARK(BM_ShiftScreenOneSecond)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EKGScreenOneSecond)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

// Drawing plus showing it: the screen is a shown window (offscreen platform) brought up to
// date every 40 ms of data, as the paint timer does. Arguments: window size (0: 1600 x 900,
// 1: 1920 x 1080, 2: 3840 x 2160) and how the rolling screen moves its picture (0: scroll
// the window's content and paint the new columns, 1: copy the whole picture).
template <class Screen>
void FeedAndShowOneSecond(benchmark::State& state) {
    static constexpr QSize kSizes[] = {{1600, 900}, {1920, 1080}, {3840, 2160}};
    const QSize size = kSizes[state.range(0)];
    const auto words = Signal(kWordsPerMs * 1000);
    auto screen = std::make_unique<Screen>();
    screen->SetMoveMode(state.range(1) == 0 ? TRollScreenParentLyraRM::MoveMode::Scroll : TRollScreenParentLyraRM::MoveMode::Copy);
    screen->resize(size);
    const TScreenSettings settings = WorstLoad(true, true);
    screen->SetSettingsProvider([settings] { return settings; });
    screen->PrepareDisplay();
    screen->show();
    QCoreApplication::processEvents();
    screen->Present();
    const uint64_t pixels0 = screen->PaintedPixels();
    const double cpu0 = ThreadCpuSeconds();
    for (auto _ : state) {
        for (uint32_t block = 0; block < 1000; ++block) {
            screen->ProcessBlock(words.data() + block * kWordsPerMs, kWordsPerMs);
            if (block % TRollScreenParentLyraRM::kMinPaintIntervalMs == 0) screen->Present();
        }
    }
    const double seconds = static_cast<double>(state.iterations());
    state.counters["core_%"] = 100.0 * (ThreadCpuSeconds() - cpu0) / seconds;
    state.counters["painted_Mpx_per_s"] = static_cast<double>(screen->PaintedPixels() - pixels0) * 1e-6 / seconds;
}

void BM_ShiftScreenShown(benchmark::State& state) { FeedAndShowOneSecond<TRollScreenShiftLyraRM>(state); }
void BM_EKGScreenShown(benchmark::State& state) { FeedAndShowOneSecond<TRollScreenEKGLyraRM>(state); }
BENCHMARK(BM_ShiftScreenShown)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EKGScreenShown)->ArgsProduct({{0, 1, 2}, {0}})->Unit(benchmark::kMillisecond)->UseRealTime();

// What one paint of the widget costs: the picture's two halves joined onto a
// 1600 x 900 surface, as the backing store receives them.
void BM_PaintJoinHalves(benchmark::State& state) {
    auto screen = std::make_unique<TRollScreenShiftLyraRM>();
    screen->resize(kWidth, kHeight);
    const TScreenSettings settings = WorstLoad(true, true);
    screen->SetSettingsProvider([settings] { return settings; });
    screen->PrepareDisplay();
    const auto words = Signal(kWordsPerMs * 300);
    for (uint32_t block = 0; block < 300; ++block) screen->ProcessBlock(words.data() + block * kWordsPerMs, kWordsPerMs);
    QImage surface(kWidth, kHeight, QImage::Format_RGB32);
    const double cpu0 = ThreadCpuSeconds();
    for (auto _ : state) {
        QPainter p(&surface);
        screen->render(&p);
    }
    // At most 25 paints per second (one per 40 ms), in percent of one core.
    state.counters["core_%_at_25fps"] = 25.0 * 100.0 * (ThreadCpuSeconds() - cpu0) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PaintJoinHalves)->Unit(benchmark::kMicrosecond);

// A full repaint from the store (notifications 2, 5, 14).
void BM_FullRepaint(benchmark::State& state) {
    auto screen = std::make_unique<TRollScreenShiftLyraRM>();
    screen->resize(kWidth, kHeight);
    TScreenSettings settings = WorstLoad(state.range(0) != 0, true);
    screen->SetSettingsProvider([settings] { return settings; });
    screen->PrepareDisplay();
    const auto words = Signal(kWordsPerMs * 4000);
    for (uint32_t block = 0; block < 4000; ++block) screen->ProcessBlock(words.data() + block * kWordsPerMs, kWordsPerMs);
    for (auto _ : state) benchmark::DoNotOptimize(screen->TryRepaint());
}
BENCHMARK(BM_FullRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
