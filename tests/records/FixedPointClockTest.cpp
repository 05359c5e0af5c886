// The integer formatting and the instant clock that every export's numbers rest on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "FixedPoint.h"
#include "InstantClock.h"

using namespace rollmode::records;

TEST(FixedPoint, MillivoltsMatchPrintfForEveryCodeZeroAndDeflection) {
    // Deflections of the table's kind and odd ones, zeros on and off the screen.
    for (const uint32_t deflection : {1u, 2u, 5u, 7u, 10u, 20u, 50u, 100u, 200u, 500u, 1000u, 2000u, 5000u, 20000u}) {
        for (const int zero : {-32768, -20, 0, 1, 127, 128, 200, 32767}) {
            for (int code = 0; code < 256; ++code) {
                char mine[32], theirs[32];
                *FormatThousandths(mine, MillivoltThousandths(code, zero, deflection)) = '\0';
                std::snprintf(theirs, sizeof theirs, "%.3f", (code - zero) * static_cast<double>(deflection) / 32.0);
                const std::string expected = std::string(theirs) == "-0.000" ? "0.000" : theirs;
                ASSERT_EQ(std::string(mine), expected) << code << " " << zero << " " << deflection;
            }
        }
    }
}

TEST(FixedPoint, NanosecondsAndIntegers) {
    char text[40];
    auto format = [&](uint64_t ns) { return std::string(text, FormatNanoseconds(text, ns)); };
    EXPECT_EQ(format(0), "0.000000000");
    EXPECT_EQ(format(333'333'333), "0.333333333");
    EXPECT_EQ(format(36'000'000'000'007), "36000.000000007");
    EXPECT_EQ(std::string(text, FormatUnsigned(text, 18'446'744'073'709'551'615ULL)), "18446744073709551615");
}

TEST(InstantClock, StepsAdvanceAndWindowLimitsAgree) {
    for (const uint32_t rate : {3u, 50u, 7777u, 1'000'000u, 5'000'000u}) {
        TInstantClock stepped, jumped;
        stepped.SetRate(rate);
        jumped.SetRate(rate);
        for (int i = 0; i < 10'000; ++i) stepped.Step();
        jumped.Advance(10'000);
        ASSERT_EQ(stepped.Ps(), jumped.Ps()) << rate;
        // Exact: 10000 instants are 10000 / rate seconds, to the picosecond below.
        EXPECT_EQ(jumped.Ps(), 10'000ULL * TInstantClock::kPsPerSecond / rate);

        // The first instant at or after a time, probed around an instant's own time.
        TInstantClock origin;
        origin.SetRate(rate);
        for (const uint64_t k : {1ULL, 2ULL, 999ULL, 123'456ULL}) {
            TInstantClock at = origin;
            at.Advance(k);
            EXPECT_EQ(origin.InstantsBefore(at.Ps()), k) << rate << " " << k;
            EXPECT_EQ(origin.InstantsBefore(at.Ps() + 1), k + 1) << rate << " " << k;
        }
    }
    // Hours at the top rate without drift.
    TInstantClock hours;
    hours.SetRate(5'000'000);
    hours.Advance(5'000'000ULL * 36'000);
    EXPECT_EQ(hours.Ns(), 36'000'000'000'000ULL);
    TInstantClock unknown;
    unknown.Advance(100);
    EXPECT_FALSE(unknown.Known());
    EXPECT_EQ(unknown.InstantsBefore(1), 0u);
}
