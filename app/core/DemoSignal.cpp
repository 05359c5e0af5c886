#include "DemoSignal.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

namespace rollmode::core::virtual_driver {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Adding 1.5 × 2^52 to a value below 2^51 in magnitude leaves a double whose last bit is worth
// 1, so the sum is rounded to an integer in the current rounding mode, as std::nearbyint does.
// All later arithmetic on such sums stays exact (integers below 2^53).
constexpr double kRoundShift = 6755399441055744.0;

constexpr uint32_t kBlock = 512;      // samples staged per pass; a multiple of both lane counts
constexpr uint32_t kSineLanes = 16;  // samples of one sine advanced side by side
constexpr uint32_t kNoiseLanes = DemoSynthesizer::kNoiseLanes;
static_assert(kBlock % kSineLanes == 0 && kBlock % kNoiseLanes == 0);
static_assert(DemoSynthesizer::kAnchorSamples % kBlock == 0);

uint64_t SplitMix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The phase of sample x in radians, evaluated exactly as the reference evaluates it.
inline double Phase(const DemoWave& w, double x, double dt) { return (x + w.offset) * kTwoPi * dt * 1000.0 / w.period; }
// The phase advance over k samples.
inline double Advance(const DemoWave& w, double k, double dt) { return k * kTwoPi * dt * 1000.0 / w.period; }

// One sine scaled by its gain, kSineLanes consecutive samples at a time: lane j holds sample
// t × kSineLanes + j as a point (c, s) on a circle of radius gain, and one step rotates every
// lane by kSineLanes samples.
struct SineLanes {
    alignas(64) double c[kSineLanes];
    alignas(64) double s[kSineLanes];
    alignas(64) double laneC[kSineLanes];  // rotation by j samples
    alignas(64) double laneS[kSineLanes];
    double stepC = 1, stepS = 0;  // rotation by kSineLanes samples
    const DemoWave* wave = nullptr;
    double dt = 0;

    void Prepare(const DemoWave& w, double samplesPerSecond) {
        wave = &w;
        dt = 1.0 / samplesPerSecond;
        const double theta = Advance(w, 1.0, dt);
        const double c1 = std::cos(theta), s1 = std::sin(theta);
        laneC[0] = 1;
        laneS[0] = 0;
        for (uint32_t j = 1; j < kSineLanes; ++j) {
            laneC[j] = laneC[j - 1] * c1 - laneS[j - 1] * s1;
            laneS[j] = laneS[j - 1] * c1 + laneC[j - 1] * s1;
        }
        const double step = Advance(w, kSineLanes, dt);
        stepC = std::cos(step);
        stepS = std::sin(step);
    }

    // Restarts from the exact sine and cosine of sample `first`.
    void Anchor(uint32_t first) {
        const double phase = Phase(*wave, static_cast<double>(first), dt);
        const double c0 = std::cos(phase) * wave->gain, s0 = std::sin(phase) * wave->gain;
        for (uint32_t j = 0; j < kSineLanes; ++j) {
            c[j] = c0 * laneC[j] - s0 * laneS[j];
            s[j] = s0 * laneC[j] + c0 * laneS[j];
        }
    }
};

}  // namespace

void DemoRandom::Seed(uint64_t seed) {
    uint64_t x = seed;
    const uint64_t a = SplitMix64(x);
    const uint64_t b = SplitMix64(x);
    s_[0] = static_cast<uint32_t>(a);
    s_[1] = static_cast<uint32_t>(a >> 32);
    s_[2] = static_cast<uint32_t>(b);
    s_[3] = static_cast<uint32_t>(b >> 32);
    if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0) s_[0] = 1;  // the all-zero state is a fixed point
}

void DemoSamplesReference(const DemoWave& a, const DemoWave& b, double samplesPerSecond, uint32_t n,
                          DemoRandom& random, uint16_t* out) {
    const double dt = 1.0 / samplesPerSecond;
    for (uint32_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i);
        const double yA = std::sin((x + a.offset) * kTwoPi * dt * 1000.0 / a.period);
        const double yB = std::sin((x + b.offset) * kTwoPi * dt * 1000.0 / b.period);
        int64_t cA = 640 - static_cast<int64_t>(std::nearbyint(yA * a.gain + a.level));
        cA += static_cast<int64_t>(random.Below(a.noiseRange)) - a.noise;
        int64_t cB = 640 - static_cast<int64_t>(std::nearbyint(yB * b.gain + b.level));
        cB += static_cast<int64_t>(random.Below(b.noiseRange)) - b.noise;
        cA = std::clamp<int64_t>(cA, 1, 255);
        cB = std::clamp<int64_t>(cB, 1, 255);
        out[i] = static_cast<uint16_t>(cA + 256 * cB);
    }
}

void DemoSynthesizer::Seed(uint64_t seed) {
    uint64_t x = seed;
    for (uint32_t j = 0; j < kNoiseLanes; ++j) {
        const uint64_t a = SplitMix64(x);
        const uint64_t b = SplitMix64(x);
        noise_.s[0][j] = static_cast<uint32_t>(a);
        noise_.s[1][j] = static_cast<uint32_t>(a >> 32);
        noise_.s[2][j] = static_cast<uint32_t>(b);
        noise_.s[3][j] = static_cast<uint32_t>(b >> 32) | 1u;  // never the all-zero state
    }
    spare_.Seed(SplitMix64(x));
}

namespace {

// The vector helpers below are always inlined into the per-instruction-set copies of the
// generator, so no vector crosses a call boundary whose convention could differ.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#define DEMO_INLINE inline __attribute__((always_inline))

// Vectors of N lanes: N doubles fill one register of the instruction set the copy is built for
// (2 for SSE2, 4 for AVX2, 8 for AVX-512); the other types keep the same lane count.
template <int N>
struct Lanes {
    typedef double F64 __attribute__((vector_size(8 * N)));
    typedef uint64_t U64 __attribute__((vector_size(8 * N)));
    typedef uint32_t U32 __attribute__((vector_size(4 * N)));
    typedef int32_t I32 __attribute__((vector_size(4 * N)));
    typedef uint16_t U16 __attribute__((vector_size(2 * N)));
    typedef uint32_t U32W __attribute__((vector_size(8 * N)));
    typedef int32_t I32W __attribute__((vector_size(8 * N)));

    template <class V, class T>
    static DEMO_INLINE V Load(const T* p) {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    template <class V, class T>
    static DEMO_INLINE void Store(T* p, const V& v) {
        std::memcpy(p, &v, sizeof v);
    }
};

static_assert(kBlock % (2 * kNoiseLanes) == 0);

// A draw u of `bits` bits maps to u × range >> bits, a uniform integer 0..range-1 unless the
// low part u × range mod 2^bits falls below 2^bits mod range (then it is redrawn).
struct NoisePlan {
    uint32_t range;
    uint32_t bits;       // 16 while range fits in 16 bits (two draws per random word), else 32
    uint32_t threshold;  // 2^bits mod range
    double base;         // 640 - noise, shifted as the rounded values are
};

NoisePlan PlanNoise(const DemoWave& w) {
    NoisePlan p{w.noiseRange, 32, 0, kRoundShift + 640.0 - static_cast<double>(w.noise)};
    if (p.range == 0) return p;
    if (p.range <= 0x10000u) {
        p.bits = 16;
        p.threshold = 0x10000u % p.range;
    } else {
        p.threshold = (0u - p.range) % p.range;
    }
    return p;
}

bool Rejected(const NoisePlan& p, uint32_t u) {
    const uint64_t m = static_cast<uint64_t>(u) * p.range;
    const uint32_t low = p.bits == 16 ? static_cast<uint32_t>(m & 0xFFFFu) : static_cast<uint32_t>(m);
    return low < p.threshold;
}

template <int N>
struct Kernel {
    using L = Lanes<N>;
    using F64 = typename L::F64;
    using U64 = typename L::U64;
    using U32 = typename L::U32;
    using I32 = typename L::I32;
    using U16 = typename L::U16;
    static constexpr uint32_t kSineVectors = kSineLanes / N;
    static_assert(kSineLanes % N == 0);

    // The noise streams run 2N lanes to a vector, a full register like N doubles.
    using U32W = typename L::U32W;
    using I32W = typename L::I32W;
    static constexpr uint32_t kNoiseVectors = kNoiseLanes / (2 * N);
    static_assert(kNoiseLanes % (2 * N) == 0);

    template <class Half, class Whole>
    static DEMO_INLINE void Split(const Whole& w, Half& low, Half& high) {
        static_assert(2 * sizeof(Half) == sizeof(Whole));
        std::memcpy(&low, &w, sizeof low);
        std::memcpy(&high, reinterpret_cast<const char*>(&w) + sizeof low, sizeof high);
    }
    static DEMO_INLINE U32W RotlW(const U32W& x, int k) { return (x << k) | (x >> (32 - k)); }

    // kBlock noise values, base + u × range >> bits each; raw keeps the draws u. Returns
    // whether a draw fell into the rejection zone.
    static DEMO_INLINE bool DrawNoise(DemoSynthesizer::NoiseState& st, const NoisePlan& p, double* __restrict out,
                                      uint32_t* __restrict raw) {
        constexpr uint32_t W = 2 * N;
        U32W s0[kNoiseVectors], s1[kNoiseVectors], s2[kNoiseVectors], s3[kNoiseVectors];
#pragma GCC unroll 16
        for (uint32_t v = 0; v < kNoiseVectors; ++v) {
            s0[v] = L::template Load<U32W>(st.s[0].data() + W * v);
            s1[v] = L::template Load<U32W>(st.s[1].data() + W * v);
            s2[v] = L::template Load<U32W>(st.s[2].data() + W * v);
            s3[v] = L::template Load<U32W>(st.s[3].data() + W * v);
        }
        // xoshiro128** in every lane.
        const auto next = [&](uint32_t v) __attribute__((always_inline)) {
            const U32W r = RotlW(s1[v] * 5, 7) * 9;
            const U32W t = s1[v] << 9;
            s2[v] ^= s0[v];
            s3[v] ^= s1[v];
            s1[v] ^= s2[v];
            s0[v] ^= s3[v];
            s2[v] ^= t;
            s3[v] = RotlW(s3[v], 11);
            return r;
        };
        U32W rejected{};
        if (p.bits == 16) {
            // Each random word gives two draws: its low half for this group of lanes, its high
            // half for the next. u × range stays below 2^32.
            const U32W range = U32W{} + p.range;
            const U32W threshold = U32W{} + p.threshold;
            const F64 base = F64{} + p.base;
            for (uint32_t g = 0; g < kBlock; g += 2 * kNoiseLanes) {
#pragma GCC unroll 16
                for (uint32_t v = 0; v < kNoiseVectors; ++v) {
                    const U32W r = next(v);
                    const U32W half[2] = {r & 0xFFFFu, r >> 16};
                    for (uint32_t h = 0; h < 2; ++h) {
                        const U32W m = half[h] * range;
                        rejected |= __builtin_convertvector((m & 0xFFFFu) < threshold, U32W);
                        const uint32_t at = g + h * kNoiseLanes + W * v;
                        L::Store(raw + at, half[h]);
                        I32 low, high;
                        Split(__builtin_convertvector(m >> 16, I32W), low, high);
                        L::Store(out + at, base + __builtin_convertvector(low, F64));
                        L::Store(out + at + N, base + __builtin_convertvector(high, F64));
                    }
                }
            }
        } else {
            const U64 range = U64{} + p.range;
            const U32 threshold = U32{} + p.threshold;
            // The value is converted as a signed number 2^31 too small and the 2^31 added back.
            const F64 base = F64{} + (p.base + 2147483648.0);
            for (uint32_t g = 0; g < kBlock; g += kNoiseLanes) {
#pragma GCC unroll 16
                for (uint32_t v = 0; v < kNoiseVectors; ++v) {
                    const U32W r = next(v);
                    L::Store(raw + g + W * v, r);
                    U32 part[2];
                    Split(r, part[0], part[1]);
                    for (uint32_t h = 0; h < 2; ++h) {
                        const U64 m = __builtin_convertvector(part[h], U64) * range;
                        const U32 low = __builtin_convertvector(m, U32);
                        U32 lowMask = __builtin_convertvector(low < threshold, U32);
                        U32W wide{};
                        std::memcpy(reinterpret_cast<char*>(&wide) + h * sizeof lowMask, &lowMask, sizeof lowMask);
                        rejected |= wide;
                        const I32 high = __builtin_convertvector(m >> 32, I32) ^ INT32_MIN;
                        L::Store(out + g + W * v + N * h, base + __builtin_convertvector(high, F64));
                    }
                }
            }
        }
#pragma GCC unroll 16
        for (uint32_t v = 0; v < kNoiseVectors; ++v) {
            L::Store(st.s[0].data() + W * v, s0[v]);
            L::Store(st.s[1].data() + W * v, s1[v]);
            L::Store(st.s[2].data() + W * v, s2[v]);
            L::Store(st.s[3].data() + W * v, s3[v]);
        }
        uint32_t m[W];
        std::memcpy(m, &rejected, sizeof m);
        uint32_t any = 0;
        for (uint32_t j = 0; j < W; ++j) any |= m[j];
        return any != 0;
    }

    static DEMO_INLINE void FillNoise(const NoisePlan& p, DemoSynthesizer::NoiseState& noise, DemoRandom& spare,
                                      double* __restrict values, uint32_t* __restrict raw) {
        if (p.range == 0) return;
        if (!DrawNoise(noise, p, values, raw)) return;
        for (uint32_t i = 0; i < kBlock; ++i) {
            if (Rejected(p, raw[i])) values[i] = p.base + static_cast<double>(spare.Below(p.range));
        }
    }

    // kBlock samples of one sine into ys, continuing from the lanes' state.
    static DEMO_INLINE void AdvanceSine(SineLanes& w, double* __restrict ys) {
        F64 c[kSineVectors], s[kSineVectors];
#pragma GCC unroll 16
        for (uint32_t v = 0; v < kSineVectors; ++v) {
            c[v] = L::template Load<F64>(w.c + N * v);
            s[v] = L::template Load<F64>(w.s + N * v);
        }
        const F64 sc = F64{} + w.stepC, ss = F64{} + w.stepS;
        for (uint32_t g = 0; g < kBlock; g += kSineLanes) {
#pragma GCC unroll 16
            for (uint32_t v = 0; v < kSineVectors; ++v) {
                L::Store(ys + g + N * v, s[v]);
                const F64 nc = c[v] * sc - s[v] * ss;
                s[v] = s[v] * sc + c[v] * ss;
                c[v] = nc;
            }
        }
#pragma GCC unroll 16
        for (uint32_t v = 0; v < kSineVectors; ++v) {
            L::Store(w.c + N * v, c[v]);
            L::Store(w.s + N * v, s[v]);
        }
    }

    // 640 - nearest(y × gain + level) + noise, clamped to 1..255, for both channels of kBlock
    // samples; `noise` holds 640 + noise and `shift` the level, both shifted for rounding.
    static DEMO_INLINE void Combine(const double* ysA, const double* noiseA, double shiftA, const double* ysB,
                                    const double* noiseB, double shiftB, uint16_t* __restrict words) {
        const F64 one = F64{} + 1.0, top = F64{} + 255.0;
        const F64 sa = F64{} + shiftA, sb = F64{} + shiftB;
        for (uint32_t i = 0; i < kBlock; i += N) {
            F64 cA = L::template Load<F64>(noiseA + i) - (L::template Load<F64>(ysA + i) + sa);
            F64 cB = L::template Load<F64>(noiseB + i) - (L::template Load<F64>(ysB + i) + sb);
            cA = cA < one ? one : cA;
            cA = cA > top ? top : cA;
            cB = cB < one ? one : cB;
            cB = cB > top ? top : cB;
            const I32 w = __builtin_convertvector(cA + 256.0 * cB, I32);
            L::Store(words + i, __builtin_convertvector(w, U16));
        }
    }

    static DEMO_INLINE void Synthesize(const DemoWave& a, const DemoWave& b, double samplesPerSecond, uint32_t n,
                                       uint16_t* out, DemoSynthesizer::NoiseState& noise, DemoRandom& spare) {
        SineLanes sineA, sineB;
        sineA.Prepare(a, samplesPerSecond);
        sineB.Prepare(b, samplesPerSecond);
        const NoisePlan planA = PlanNoise(a), planB = PlanNoise(b);
        const double shiftA = kRoundShift + a.level, shiftB = kRoundShift + b.level;

        alignas(64) double ysA[kBlock], ysB[kBlock], noiseA[kBlock], noiseB[kBlock];
        alignas(64) uint32_t raw[kBlock];
        if (planA.range == 0) std::fill(noiseA, noiseA + kBlock, planA.base);
        if (planB.range == 0) std::fill(noiseB, noiseB + kBlock, planB.base);

        for (uint32_t first = 0; first < n; first += kBlock) {
            if (first % DemoSynthesizer::kAnchorSamples == 0) {
                sineA.Anchor(first);
                sineB.Anchor(first);
            }
            AdvanceSine(sineA, ysA);
            AdvanceSine(sineB, ysB);
            // Channel A's noise is drawn before channel B's, block by block.
            FillNoise(planA, noise, spare, noiseA, raw);
            FillNoise(planB, noise, spare, noiseB, raw);

            const uint32_t m = std::min(kBlock, n - first);
            if (m == kBlock) {
                Combine(ysA, noiseA, shiftA, ysB, noiseB, shiftB, out + first);
            } else {
                alignas(64) uint16_t words[kBlock];
                Combine(ysA, noiseA, shiftA, ysB, noiseB, shiftB, words);
                std::memcpy(out + first, words, m * sizeof(uint16_t));
            }
        }
    }

    static DEMO_INLINE void SineOnly(const DemoWave& w, double samplesPerSecond, uint32_t n, double* out) {
        SineLanes sine;
        sine.Prepare(w, samplesPerSecond);
        alignas(64) double ys[kBlock];
        for (uint32_t first = 0; first < n; first += kBlock) {
            if (first % DemoSynthesizer::kAnchorSamples == 0) sine.Anchor(first);
            AdvanceSine(sine, ys);
            std::memcpy(out + first, ys, std::min(kBlock, n - first) * sizeof(double));
        }
    }
};

// One copy of the generator per instruction set; the widest the processor runs is used.
using SynthesizeFn = void (*)(const DemoWave&, const DemoWave&, double, uint32_t, uint16_t*,
                              DemoSynthesizer::NoiseState&, DemoRandom&);
using SineFn = void (*)(const DemoWave&, double, uint32_t, double*);

struct Implementation {
    SynthesizeFn synthesize;
    SineFn sine;
};

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define DEMO_AVX2 __attribute__((target("avx2,fma")))
#define DEMO_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,avx2,fma")))

DEMO_AVX512 void SynthesizeAvx512(const DemoWave& a, const DemoWave& b, double rate, uint32_t n, uint16_t* out,
                                  DemoSynthesizer::NoiseState& noise, DemoRandom& spare) {
    Kernel<8>::Synthesize(a, b, rate, n, out, noise, spare);
}
DEMO_AVX512 void SineAvx512(const DemoWave& w, double rate, uint32_t n, double* out) {
    Kernel<8>::SineOnly(w, rate, n, out);
}
DEMO_AVX2 void SynthesizeAvx2(const DemoWave& a, const DemoWave& b, double rate, uint32_t n, uint16_t* out,
                              DemoSynthesizer::NoiseState& noise, DemoRandom& spare) {
    Kernel<4>::Synthesize(a, b, rate, n, out, noise, spare);
}
DEMO_AVX2 void SineAvx2(const DemoWave& w, double rate, uint32_t n, double* out) { Kernel<4>::SineOnly(w, rate, n, out); }
#endif

void SynthesizeBase(const DemoWave& a, const DemoWave& b, double rate, uint32_t n, uint16_t* out,
                    DemoSynthesizer::NoiseState& noise, DemoRandom& spare) {
    Kernel<2>::Synthesize(a, b, rate, n, out, noise, spare);
}
void SineBase(const DemoWave& w, double rate, uint32_t n, double* out) { Kernel<2>::SineOnly(w, rate, n, out); }

struct Copies {
    std::array<Implementation, 3> list{};
    std::array<const char*, 3> names{};
    int count = 0;
    std::atomic<int> used{0};

    Copies() {
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
        __builtin_cpu_init();
        const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
            __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw"))
            Add({&SynthesizeAvx512, &SineAvx512}, "AVX-512");
        if (avx2) Add({&SynthesizeAvx2, &SineAvx2}, "AVX2");
#endif
        Add({&SynthesizeBase, &SineBase}, "baseline");
    }
    void Add(Implementation i, const char* name) {
        list[count] = i;
        names[count] = name;
        ++count;
    }
    const Implementation& Used() const { return list[used.load(std::memory_order_relaxed)]; }
};

Copies& TheCopies() {
    static Copies copies;
    return copies;
}

}  // namespace

int DemoSynthesizer::InstructionSets() { return TheCopies().count; }

const char* DemoSynthesizer::InstructionSetName(int index) {
    const Copies& c = TheCopies();
    return index >= 0 && index < c.count ? c.names[index] : "";
}

void DemoSynthesizer::UseInstructionSet(int index) {
    Copies& c = TheCopies();
    c.used.store(std::clamp(index, 0, c.count - 1), std::memory_order_relaxed);
}

void DemoSynthesizer::ScaledSine(const DemoWave& w, double samplesPerSecond, uint32_t n, double* out) {
    TheCopies().Used().sine(w, samplesPerSecond, n, out);
}

void DemoSynthesizer::Generate(const DemoWave& a, const DemoWave& b, double samplesPerSecond, uint32_t n,
                               uint16_t* out) {
    TheCopies().Used().synthesize(a, b, samplesPerSecond, n, out, noise_, spare_);
}

}  // namespace rollmode::core::virtual_driver
