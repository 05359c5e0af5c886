#pragma once
// Model of one instrument behind the kernel-driver boundary: the driver requests,
// the 4-byte command protocol, registers, EEPROM with its calibration block, FPGA
// configuration, JTAG read-back, and the roll FIFO fed by an analogue front end.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "sim/Calibration.h"
#include "sim/DeviceServer.h"

namespace rollmode::sim {

enum class SignalShape { Sine, Square, Ramp, Noise, Dc, Count };

// A test signal at the channel's input socket, in volts.
struct ChannelSignal {
    SignalShape shape = SignalShape::Sine;
    double frequency = 1.0;  // Hz
    double amplitude = 0.5;  // peak; the level of dc; the half-width of noise
    double offset = 0.0;     // DC part, removed by AC coupling
    double noise = 0.0;      // added Gaussian noise, rms
};

// The external ARM input: a constant level, or a square wave (high first) when frequency > 0.
struct ExternalArmInput {
    bool level = false;
    double frequency = 0.0;
};

struct InstrumentConfig {
    std::array<ChannelSignal, 2> channels{ChannelSignal{SignalShape::Sine, 1.0, 0.5, 0.0, 0.0},
                                          ChannelSignal{SignalShape::Square, 0.5, 0.2, 0.0, 0.0}};
    uint32_t serial = 20261207;
    bool validCalibration = true;
    // Sample words: about 210 ms at 5,000,000 per second, so a host that is not scheduled for a
    // few tens of milliseconds on a busy machine loses nothing; 32,768 words leave per read.
    uint32_t fifoDepth = 1048576;
    uint16_t packetSize = 64;
    uint32_t deviceId = 4;        // query 0x2A and request 0x220030
    ExternalArmInput externalArm;
    uint64_t seed = 1;
};

// How the front end turns volts into codes on one channel under the present registers.
struct FrontEndSetting {
    bool connected = false;
    bool ac = false;
    double zero = 128;
    double mvPerCode = 1;
    bool operator==(const FrontEndSetting&) const = default;
};

class SampleGenerator;

inline constexpr uint16_t kOverflowMark = 1;
inline constexpr uint16_t kNotArmedMark = 2;
inline constexpr uint32_t kCpldIdcode = 0x0A5C5A93;
inline constexpr uint8_t kCpldId = 0x5A;

// Samples per second for the rate code in register 1 (0 fastest, 15 slowest).
int32_t SamplesPerSecondForCode(uint32_t code);

// A configuration image the FPGA takes: "RMFPGA01", the payload length and the payload byte
// sum (both big-endian), then the payload. Anything else leaves the FPGA unconfigured.
inline constexpr size_t kFpgaHeaderBytes = 16;
bool FpgaImageValid(std::span<const uint8_t> image);
// Writes a valid header over the first 16 bytes of an image of at least that size.
void StampFpgaHeader(std::span<uint8_t> image);

class Instrument : public DeviceEndpoint {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Sleep = std::function<void(std::chrono::steady_clock::duration)>;

    explicit Instrument(InstrumentConfig config);
    ~Instrument() override;

    bool HandleRequest(uint32_t code, std::span<const uint8_t> in, uint32_t outCapacity,
                       std::vector<uint8_t>& out) override;
    std::chrono::steady_clock::duration PauseBeforeNextRequest() override;

    // Tests drive time themselves and read without waiting.
    void SetClock(Clock clock);
    void SetSleep(Sleep sleep);
    void SetRollWait(std::chrono::milliseconds wait);

    // Observation, safe from any thread.
    uint16_t Register(uint8_t reg) const;
    uint8_t EepromByte(uint32_t address) const;
    bool FpgaConfigured() const;
    uint32_t FpgaImageBytes() const;
    uint32_t Overflows() const;
    // Sample words the roll FIFO has handed out so far (overflow marks not counted).
    uint64_t DeliveredSamples() const;
    std::array<uint8_t, 2> Shift() const;
    const CalibrationData& TrueCalibration() const { return calibration_; }

    // What one roll FIFO read of maxWords returns now (zero-padded), without waiting.
    void ReadRoll(uint16_t* words, size_t maxWords);
    // Samples waiting in the FIFO (markers included).
    uint64_t Available();

    // The code channel (0/1) shows for a voltage under the present register settings.
    double CodeFor(int channel, double volts);

    static constexpr size_t kEepromBytes = 2048;

private:
    enum class ReadKind : uint8_t { Answer, RollFifo, Fifo };
    struct PendingRead {
        ReadKind kind = ReadKind::Answer;
        uint8_t fifo = 0;
        uint8_t length = 0;
        uint16_t packets = 0;  // the transfer a FIFO read announced
        std::chrono::steady_clock::time_point announced{};
        std::array<uint8_t, 16> bytes{};
    };
    enum class WriteKind : uint8_t { Fpga, Fifo };
    struct PendingWrite {
        WriteKind kind = WriteKind::Fpga;
        uint8_t fifo = 0;
        uint32_t packets = 0;
    };
    struct Segment {
        uint64_t begin = 0;
        uint64_t end = 0;
    };
    struct Epoch {
        uint64_t index = 0;  // first sample of the epoch
        std::chrono::steady_clock::time_point start{};
        double seconds = 0;  // signal time of that sample
        double rate = 50;
        bool immediate = true;  // a start takes its first sample at once; a rate change one period later
    };

    void RunCommands(std::span<const uint8_t> in);
    void Command(const uint8_t* c, uint32_t& waitBudgetMs);
    void QueueAnswer(const uint8_t* bytes, uint8_t length);
    void QueueAnswer32(uint32_t value);
    void WriteRegister(uint8_t reg, uint16_t value);
    void BulkWrite(std::span<const uint8_t> in, bool& ok);
    bool BulkRead(uint32_t capacity, std::vector<uint8_t>& out);

    // FIFO model; callers hold mutex_.
    std::chrono::steady_clock::time_point Now() const;
    uint64_t Produced(std::chrono::steady_clock::time_point now) const;
    void UpdateFifo(std::chrono::steady_clock::time_point now);
    uint64_t HeldWords(std::chrono::steady_clock::time_point now);
    // Takes up to maxWords words from the FIFO, in pieces: sink(n) gives the place for the next
    // n words as little-endian byte pairs. Returns how many.
    template <typename Sink>
    size_t Drain(size_t maxWords, Sink&& sink);
    void StartRun(std::chrono::steady_clock::time_point now);
    FrontEndSetting FrontEndFor(int channel) const;
    template <typename Sink>
    void Synthesize(uint64_t first, size_t count, const std::array<FrontEndSetting, 2>& fe, Sink&& sink);
    std::chrono::steady_clock::duration RollWait(const PendingRead& r, size_t words,
                                                 std::chrono::steady_clock::time_point now);
    bool ExternalArmHigh(double t) const;

    const InstrumentConfig config_;
    const CalibrationData calibration_;
    mutable std::mutex mutex_;
    Clock clock_;
    Sleep sleep_;
    // Longest wait of a roll read, from its announcement: more than a whole 64 KB block takes
    // at the fastest rate (6.55 ms), so a host that keeps up gets full blocks.
    std::chrono::milliseconds rollWait_{8};

    std::array<uint16_t, 256> registers_{};
    std::array<uint8_t, kEepromBytes> eeprom_{};
    bool eepromWriteEnabled_ = false;
    bool fpgaConfigured_ = false;
    uint32_t fpgaImageBytes_ = 0;
    std::array<uint8_t, 2> shift_{};
    uint8_t cpldPort_ = 0;
    uint32_t tdoIndex_ = 0;
    uint32_t captureCount_ = 0;
    std::array<uint8_t, 16> capture_{};

    std::deque<PendingRead> reads_;
    std::deque<PendingWrite> writes_;
    std::map<uint8_t, std::vector<uint8_t>> loopback_;

    // Roll FIFO: closed segments each followed by an overflow mark, then the open segment.
    static constexpr size_t kMaxSegments = 32;
    std::array<Segment, kMaxSegments> segments_{};
    size_t segmentHead_ = 0;
    size_t segmentCount_ = 0;
    uint64_t closedWords_ = 0;  // unread samples of closed segments plus their marks
    uint64_t openBegin_ = 0;
    bool running_ = false;
    uint64_t frozenProduced_ = 0;
    Epoch epoch_;
    Epoch previousEpoch_;
    uint32_t overflows_ = 0;
    uint64_t deliveredSamples_ = 0;
    std::unique_ptr<SampleGenerator> generator_;
};

}  // namespace rollmode::sim
