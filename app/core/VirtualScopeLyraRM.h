#pragma once
// The instrument model: every setting and live status value of the two-channel
// instrument, and the notification hub every other part registers with.
//
// Threads: the user-interface thread writes settings and is the only one that
// notifies or touches the listener list; the acquisition thread reads settings under
// SettingsLock() and writes status values; the processing thread writes
// ActualVoltage and FileSize. Every scalar property is a relaxed atomic, so readers
// that take no lock (display settings, status values) never race.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "NotificationCodes.h"
#include "RecordFileLyraRM.h"
#include "Relaxed.h"
#include "ports/MessageBoxService.h"

namespace rollmode::core {

class ValueSink;
class TVirtualDriverLyraRM;


// A notification callback. The handler object is the callback's identity: two
// registrations are the same callback when they name the same object.
class TNotificationHandler {
public:
    virtual ~TNotificationHandler() = default;
    // `group` is the sender's group, shared by reference with every later listener
    // of the same delivery.
    virtual void HandleNotification(int32_t code, int32_t& group) = 0;
};

class TVirtualScopeLyraRM {
public:
    static constexpr std::size_t kRangeTableBytes = 240;
    static constexpr std::size_t kDeviceModelIndexOffset = 236;
    static constexpr int32_t kChannelA = 100;
    static constexpr int32_t kChannelB = 200;

    TVirtualScopeLyraRM();
    virtual ~TVirtualScopeLyraRM();
    TVirtualScopeLyraRM(const TVirtualScopeLyraRM&) = delete;
    TVirtualScopeLyraRM& operator=(const TVirtualScopeLyraRM&) = delete;

    // --- Locks -----------------------------------------------------------------
    // The acquisition thread holds this for a whole settings transfer; the locked
    // setters below take it for their store only. Not recursive: never call a locked
    // setter while holding it.
    std::mutex& SettingsLock() noexcept { return settingsLock_; }
    std::mutex& FileSizeLock() noexcept { return fileSizeLock_; }

    // --- Listener registry (user-interface thread only) --------------------------
    // Appends an entry; no duplicate check. `listener` is the owning object, kept for
    // inspection only: entries are matched by callback.
    void RegisterListener(int32_t group, TNotificationHandler* callback, const void* listener);
    // Removes the first entry with this callback, keeping the others in order; an
    // unknown callback leaves the list unchanged.
    void UnregisterListener(TNotificationHandler* callback, const void* listener);
    void NotifyListeners(int32_t code, int32_t group);

    std::size_t ListenerCount() const noexcept { return listeners_.size(); }
    TNotificationHandler* ListenerCallback(std::size_t index) const { return listeners_.at(index).callback; }
    int32_t ListenerGroup(std::size_t index) const { return listeners_.at(index).group; }

    // --- Start and stop ----------------------------------------------------------
    void InitializeApplication();
    void ShutdownApplication();

    // --- Record file -------------------------------------------------------------
    const std::string& RecordFileName() const noexcept { return recordFileName_; }
    // Closes the open file and forgets its size (the value only), remembers `name`,
    // and once start-up is done and saving is on opens it for append (an existing
    // file at its end, its index file deleted) or creates it. A file that cannot be
    // created shows "Cannot create file " and switches saving off.
    virtual void OpenRecordFile(const std::string& name);
    // Empties the file at RecordFileName() and holds it open, saving on or off; the
    // size label shows 0. A creation failure shows "Cannot create file <name>" and
    // leaves no file open.
    virtual void ClearRecordFile();
    // Processing thread: appends a run of stream words while saving is on and counts
    // them in FileSize. A failed write is not counted (runs counted but not written
    // are taken back): saving is switched off, the file keeps its whole writes, and
    // the failure is handed to the user-interface thread through the UI post (see
    // SetUiPost).
    void AppendToRecordFile(const uint16_t* words, uint32_t count);
    // Processing thread, when no run came for a while: writes the runs the record
    // file still gathers (it writes them by itself when 1 MiB is gathered or the
    // oldest has waited 50 ms, at the next run).
    void FlushRecordFile();
    // Writes what is gathered and closes the record file if one is open.
    virtual void CloseRecordFile();
    // Adds written bytes to FileSize under the file-size lock, so a reset from the
    // user-interface thread is never lost between a read and a write.
    void AddToFileSize(double bytes);
    // The viewer's index file name beside a record file ("sdata.rmd" -> "sdata.ind").
    static std::string IndexFileName(const std::string& recordFileName);

    // Error boxes of the record file. Not owned; may stay null (nothing is shown).
    void SetMessageBoxService(MessageBoxService* messages) noexcept { messages_ = messages; }
    MessageBoxService* Messages() const noexcept { return messages_; }
    // Runs a function later on the user-interface thread, callable from any thread
    // (the main window queues it into its event loop and drops it if the model is
    // gone). Set it before the worker threads start. Without it a failed append
    // waits for ReportRecordFileFailure().
    using UiPost = std::function<void(std::function<void()>)>;
    void SetUiPost(UiPost post) { uiPost_ = std::move(post); }
    // User-interface thread: shows a failed append once, then sends code 2 so the
    // controls show saving switched off. Does nothing when no failure is pending.
    void ReportRecordFileFailure();
    bool RecordFileFailurePending() const noexcept { return recordFailurePending_.load(std::memory_order_relaxed); }

    // --- Derived values ----------------------------------------------------------
    // Channel selector 200 = B, anything else = A. An unknown probe code gives "".
    std::string ProbeText(int32_t channel) const;
    // Millivolts per division; 1 outside the deflection table.
    int32_t DeflectionFactor(int32_t channel) const;
    // Each byte of the 0x00BBGGRR colour times `factor`, rounded half to even and
    // kept within 0..255.
    static uint32_t ScaleColor(uint32_t color, double factor);

    // --- Range table ---------------------------------------------------------------
    // 240 bytes that the driver library fills during device initialisation.
    uint8_t* RangeTable() noexcept { return rangeTable_.data(); }
    const uint8_t* RangeTable() const noexcept { return rangeTable_.data(); }
    int32_t DeviceModelIndex() const noexcept;

    // --- Record file and sizes ---------------------------------------------------------
    // The open record file, or null when none is open.
    const TRecordFileLyraRM* ActualOutputStream() const { return recordFile_.IsOpen() ? &recordFile_ : nullptr; }
    bool SavingActivated() const noexcept { return savingActivated_.get(); }
    void SetSavingActivated(bool v);
    double FileSize() const noexcept { return fileSize_.get(); }
    void SetFileSize(double v);
    ValueSink* FileSizeLabel() const noexcept { return fileSizeLabel_.get(); }
    void SetFileSizeLabel(ValueSink* v) noexcept { fileSizeLabel_.set(v); }

    // --- Vertical position and sensitivity -------------------------------------------
    uint16_t DensityChannelA() const noexcept { return densityChannelA_.get(); }
    void SetDensityChannelA(uint16_t v);
    uint16_t DensityChannelB() const noexcept { return densityChannelB_.get(); }
    void SetDensityChannelB(uint16_t v);
    int32_t MaxChannelA() const noexcept { return maxChannelA_.get(); }
    void SetMaxChannelA(int32_t v) noexcept { maxChannelA_.set(v); }
    int32_t MaxChannelB() const noexcept { return maxChannelB_.get(); }
    void SetMaxChannelB(int32_t v) noexcept { maxChannelB_.set(v); }
    uint16_t VerticalLevelChannelA() const noexcept { return verticalLevelChannelA_.get(); }
    void SetVerticalLevelChannelA(uint16_t v);
    uint16_t VerticalLevelChannelB() const noexcept { return verticalLevelChannelB_.get(); }
    void SetVerticalLevelChannelB(uint16_t v);
    int32_t ScaledLevelChannelA() const noexcept;
    void SetScaledLevelChannelA(int32_t v) noexcept;
    int32_t ScaledLevelChannelB() const noexcept;
    void SetScaledLevelChannelB(int32_t v) noexcept;
    int32_t ZeroChannelA() const noexcept { return zeroChannelA_.get(); }
    void SetZeroChannelA(int32_t v) noexcept { zeroChannelA_.set(v); }
    int32_t ZeroChannelB() const noexcept { return zeroChannelB_.get(); }
    void SetZeroChannelB(int32_t v) noexcept { zeroChannelB_.set(v); }
    bool StatusChannelA() const noexcept { return statusChannelA_.get(); }
    void SetStatusChannelA(bool v);
    bool StatusChannelB() const noexcept { return statusChannelB_.get(); }
    void SetStatusChannelB(bool v);

    // --- Colours and display ---------------------------------------------------------
    uint32_t ColorChannelA() const noexcept { return colorChannelA_.get(); }
    void SetColorChannelA(uint32_t v) noexcept { colorChannelA_.set(v); }
    uint32_t ColorChannelB() const noexcept { return colorChannelB_.get(); }
    void SetColorChannelB(uint32_t v) noexcept { colorChannelB_.set(v); }
    uint32_t ColorGrid() const noexcept { return colorGrid_.get(); }
    void SetColorGrid(uint32_t v) noexcept;
    uint32_t RealGridColor() const noexcept { return realGridColor_.get(); }
    uint32_t BackgroundColor() const noexcept { return backgroundColor_.get(); }
    void SetBackgroundColor(uint32_t v) noexcept { backgroundColor_.set(v); }
    bool ModeLine() const noexcept { return modeLine_.get(); }
    void SetModeLine(bool v) noexcept { modeLine_.set(v); }
    bool ModeBF() const noexcept { return modeBF_.get(); }
    void SetModeBF(bool v) noexcept { modeBF_.set(v); }
    bool ModeEKG() const noexcept { return modeEKG_.get(); }
    void SetModeEKG(bool v) noexcept { modeEKG_.set(v); }
    bool DisplayActive() const noexcept { return displayActive_.get(); }
    void SetDisplayActive(bool v) noexcept;
    bool MakeMaximum() const noexcept { return makeMaximum_.get(); }
    void SetMakeMaximum(bool v) noexcept { makeMaximum_.set(v); }
    bool MakeMinimum() const noexcept { return makeMinimum_.get(); }
    void SetMakeMinimum(bool v) noexcept { makeMinimum_.set(v); }
    bool MakeAvg() const noexcept { return makeAvg_.get(); }
    void SetMakeAvg(bool v) noexcept { makeAvg_.set(v); }
    bool SingleMode() const noexcept { return singleMode_.get(); }
    void SetSingleMode(bool v) noexcept { singleMode_.set(v); }
    bool ClearScreenRequested() const noexcept { return clearScreenRequested_.get(); }
    void SetClearScreenRequested(bool v) noexcept { clearScreenRequested_.set(v); }
    bool Grid() const noexcept { return grid_.get(); }
    void SetGrid(bool v) noexcept { grid_.set(v); }
    int32_t GridBrightness() const noexcept { return gridBrightness_.get(); }
    void SetGridBrightness(int32_t v) noexcept;

    // --- Main window geometry ----------------------------------------------------------
    bool MainScreenMaximized() const noexcept { return mainScreenMaximized_.get(); }
    void SetMainScreenMaximized(bool v) noexcept { mainScreenMaximized_.set(v); }
    int32_t MainWindowHeight() const noexcept { return mainWindowHeight_.get(); }
    void SetMainWindowHeight(int32_t v) noexcept { mainWindowHeight_.set(v); }
    int32_t MainWindowWidth() const noexcept { return mainWindowWidth_.get(); }
    void SetMainWindowWidth(int32_t v) noexcept { mainWindowWidth_.set(v); }

    // --- Trigger and ARM (levels in millivolts) ---------------------------------------------
    bool TriggerSourceA() const noexcept { return triggerSourceA_.get(); }
    void SetTriggerSourceA(bool v);
    bool TriggerSourceB() const noexcept { return triggerSourceB_.get(); }
    void SetTriggerSourceB(bool v);
    double TriggerLevelA() const noexcept { return triggerLevelA_.get(); }
    void SetTriggerLevelA(double v);
    double TriggerLevelB() const noexcept { return triggerLevelB_.get(); }
    void SetTriggerLevelB(double v);
    bool TriggerUnderA() const noexcept { return triggerUnderA_.get(); }
    void SetTriggerUnderA(bool v);
    bool TriggerUnderB() const noexcept { return triggerUnderB_.get(); }
    void SetTriggerUnderB(bool v);
    int32_t TriggerLEDStatus() const noexcept { return triggerLEDStatus_.get(); }
    void SetTriggerLEDStatus(int32_t v) noexcept { triggerLEDStatus_.set(v); }
    uint8_t DataAcquisitionStatus() const noexcept { return dataAcquisitionStatus_.get(); }
    void SetDataAcquisitionStatus(uint8_t s) noexcept;
    bool TriggerRelation() const noexcept { return triggerRelation_.get(); }
    void SetTriggerRelation(bool v);
    bool ARMSourceA() const noexcept { return armSourceA_.get(); }
    void SetARMSourceA(bool v);
    bool ARMSourceB() const noexcept { return armSourceB_.get(); }
    void SetARMSourceB(bool v);
    bool ARMSourceExternal() const noexcept { return armSourceExternal_.get(); }
    void SetARMSourceExternal(bool v);
    double ARMLevelA() const noexcept { return armLevelA_.get(); }
    void SetARMLevelA(double v);
    double ARMLevelB() const noexcept { return armLevelB_.get(); }
    void SetARMLevelB(double v);
    bool ARMUnderA() const noexcept { return armUnderA_.get(); }
    void SetARMUnderA(bool v);
    bool ARMUnderB() const noexcept { return armUnderB_.get(); }
    void SetARMUnderB(bool v);
    bool ARMUnderExternal() const noexcept { return armUnderExternal_.get(); }
    void SetARMUnderExternal(bool v);
    int32_t ARMLEDStatus() const noexcept { return armLEDStatus_.get(); }
    void SetARMLEDStatus(int32_t v) noexcept { armLEDStatus_.set(v); }

    // --- Input source ----------------------------------------------------------------
    bool SourceACDC_A() const noexcept { return sourceACDC_A_.get(); }
    void SetSourceACDC_A(bool v);
    bool SourceACDC_B() const noexcept { return sourceACDC_B_.get(); }
    void SetSourceACDC_B(bool v);
    int32_t SourceProbeA() const noexcept { return sourceProbeA_.get(); }
    void SetSourceProbeA(int32_t v);
    int32_t SourceProbeB() const noexcept { return sourceProbeB_.get(); }
    void SetSourceProbeB(int32_t v);
    bool GroundA() const noexcept { return groundA_.get(); }
    void SetGroundA(bool v);
    bool GroundB() const noexcept { return groundB_.get(); }
    void SetGroundB(bool v);

    // --- Measurement record mode ---------------------------------------------------------
    bool RecordTriggered() const noexcept { return recordTriggered_.get(); }
    void SetRecordTriggered(bool v) noexcept { recordTriggered_.set(v); }
    bool RecordFree() const noexcept { return recordFree_.get(); }
    void SetRecordFree(bool v);
    bool MeasurementStarted() const noexcept { return measurementStarted_.get(); }
    void SetMeasurementStarted(bool v);
    uint32_t MeasurementLength() const noexcept { return measurementLength_.get(); }
    void SetMeasurementLength(uint32_t v);
    bool MeasurementDefined() const noexcept { return measurementDefined_.get(); }
    void SetMeasurementDefined(bool v);
    int32_t CachedDataStatus() const noexcept { return cachedDataStatus_.get(); }
    void SetCachedDataStatus(int32_t v) noexcept { cachedDataStatus_.set(v); }

    // --- Time base ------------------------------------------------------------------------
    int32_t SMPSetting() const noexcept { return smpSetting_.get(); }
    void SetSMPSetting(int32_t v);
    int32_t DSPSetting() const noexcept { return dspSetting_.get(); }
    void SetDSPSetting(int32_t v);

    // --- Demo signal (periods in ms, amplitude and noise in mV) ----------------------------
    int32_t PeriodA() const noexcept { return periodA_.get(); }
    void SetPeriodA(int32_t v);
    int32_t PeriodB() const noexcept { return periodB_.get(); }
    void SetPeriodB(int32_t v);
    int32_t AmplitudeA() const noexcept { return amplitudeA_.get(); }
    void SetAmplitudeA(int32_t v);
    int32_t AmplitudeB() const noexcept { return amplitudeB_.get(); }
    void SetAmplitudeB(int32_t v);
    int32_t NoiseA() const noexcept { return noiseA_.get(); }
    void SetNoiseA(int32_t v);
    int32_t NoiseB() const noexcept { return noiseB_.get(); }
    void SetNoiseB(int32_t v);

    // --- Links, live values and options -----------------------------------------------------
    // Not owned. A null driver is ignored.
    TVirtualDriverLyraRM* VirtualDriver() const noexcept { return virtualDriver_.get(); }
    void SetVirtualDriver(TVirtualDriverLyraRM* v) noexcept;
    uint16_t ActualVoltage() const noexcept { return actualVoltage_.get(); }
    // Overflow marks (word 1: the instrument's FIFO overflowed and samples were lost)
    // the processing thread has seen; the user-interface thread reads and resets it.
    // A change reaches LostDataLabel on the user-interface thread through the UI post,
    // at most one post waiting at a time, so a burst of overflows costs the processing
    // thread one queued call.
    uint64_t LostDataMarks() const noexcept { return lostDataMarks_.load(std::memory_order_relaxed); }
    void SetLostDataMarks(uint64_t v);
    void AddLostDataMarks(uint64_t n);
    // Shows the count of lost-data marks; user-interface thread only. Not owned.
    ValueSink* LostDataLabel() const noexcept { return lostDataLabel_.get(); }
    void SetLostDataLabel(ValueSink* v) noexcept { lostDataLabel_.set(v); }
    // User-interface thread: hands the current count to LostDataLabel.
    void ShowLostDataMarks();
    void SetActualVoltage(uint16_t w);
    ValueSink* ActualVoltageA() const noexcept { return actualVoltageA_.get(); }
    void SetActualVoltageA(ValueSink* v) noexcept { actualVoltageA_.set(v); }
    ValueSink* ActualVoltageB() const noexcept { return actualVoltageB_.get(); }
    void SetActualVoltageB(ValueSink* v) noexcept { actualVoltageB_.set(v); }
    bool ShowComixHelp() const noexcept { return showComixHelp_.get(); }
    void SetShowComixHelp(bool v) noexcept { showComixHelp_.set(v); }
    bool BoostThread() const noexcept { return boostThread_.get(); }
    void SetBoostThread(bool v) noexcept { boostThread_.set(v); }
    bool SettingsToFile() const noexcept { return settingsToFile_.get(); }
    void SetSettingsToFile(bool v);
    bool ApplicationInitialized() const noexcept { return applicationInitialized_.get(); }
    void SetApplicationInitialized(bool v) noexcept { applicationInitialized_.set(v); }

private:
    struct ListenerEntry {
        int32_t group;
        TNotificationHandler* callback;
        const void* listener;
        uint64_t serial;  // unique per registration; follows an entry while the list shifts
    };

    template <typename T>
    void StoreLocked(Relaxed<T>& field, T v) {
        std::lock_guard<std::mutex> guard(settingsLock_);
        field.set(v);
    }
    // A write of the record file failed (any thread): saving off, report posted once.
    void OnRecordFileFailure();
    // Any thread: queues ShowLostDataMarks unless one is queued already.
    void PostLostDataMarks();
    // Stores FileSize under the file-size lock without showing it in the label.
    void StoreFileSizeValue(double v);
    void DeliverShutdown(int32_t& group);
    void DeliverInOrder(int32_t code, int32_t& group);
    std::ptrdiff_t FindSerial(uint64_t serial) const noexcept;

    std::mutex settingsLock_;
    std::mutex fileSizeLock_;

    std::vector<ListenerEntry> listeners_;
    uint64_t nextSerial_ = 1;
    bool deliveryFlag_ = false;  // not a lock: user-interface thread only

    std::string recordFileName_;
    alignas(4) std::array<uint8_t, kRangeTableBytes> rangeTable_{};

    // Published values, in declaration order.
    TRecordFileLyraRM recordFile_;  // ActualOutputStream; has its own lock
    MessageBoxService* messages_ = nullptr;
    UiPost uiPost_;
    std::atomic<bool> recordFailurePending_{false};
    Relaxed<bool> savingActivated_;
    Relaxed<double> fileSize_;
    Relaxed<uint16_t> densityChannelA_;
    Relaxed<uint16_t> densityChannelB_;
    Relaxed<int32_t> maxChannelA_;
    Relaxed<int32_t> maxChannelB_;
    Relaxed<uint16_t> verticalLevelChannelA_;
    Relaxed<uint16_t> verticalLevelChannelB_;
    Relaxed<uint32_t> colorChannelA_;
    Relaxed<uint32_t> colorChannelB_;
    Relaxed<uint32_t> colorGrid_;
    Relaxed<uint32_t> realGridColor_;
    Relaxed<uint32_t> backgroundColor_;
    Relaxed<bool> modeLine_;
    Relaxed<bool> modeBF_;
    Relaxed<bool> modeEKG_;
    Relaxed<bool> displayActive_;
    Relaxed<bool> makeMaximum_;
    Relaxed<bool> makeMinimum_;
    Relaxed<bool> makeAvg_;
    Relaxed<bool> singleMode_;
    Relaxed<bool> clearScreenRequested_;
    Relaxed<bool> grid_;
    Relaxed<int32_t> gridBrightness_;
    Relaxed<bool> mainScreenMaximized_;
    Relaxed<int32_t> mainWindowHeight_;
    Relaxed<int32_t> mainWindowWidth_;
    Relaxed<bool> triggerSourceA_;
    Relaxed<bool> triggerSourceB_;
    Relaxed<double> triggerLevelA_;
    Relaxed<double> triggerLevelB_;
    Relaxed<bool> triggerUnderA_;
    Relaxed<bool> triggerUnderB_;
    Relaxed<int32_t> triggerLEDStatus_;
    Relaxed<uint8_t> dataAcquisitionStatus_;
    Relaxed<bool> triggerRelation_;
    Relaxed<bool> armSourceA_;
    Relaxed<bool> armSourceB_;
    Relaxed<bool> armSourceExternal_;
    Relaxed<double> armLevelA_;
    Relaxed<double> armLevelB_;
    Relaxed<bool> armUnderA_;
    Relaxed<bool> armUnderB_;
    Relaxed<bool> armUnderExternal_;
    Relaxed<int32_t> armLEDStatus_;
    Relaxed<bool> sourceACDC_A_;
    Relaxed<bool> sourceACDC_B_;
    Relaxed<int32_t> sourceProbeA_;
    Relaxed<int32_t> sourceProbeB_;
    Relaxed<bool> groundA_;
    Relaxed<bool> groundB_;
    Relaxed<bool> recordTriggered_;
    Relaxed<bool> recordFree_;
    Relaxed<bool> measurementStarted_;
    Relaxed<uint32_t> measurementLength_;
    Relaxed<bool> measurementDefined_;
    Relaxed<int32_t> smpSetting_;
    Relaxed<int32_t> dspSetting_;
    Relaxed<bool> statusChannelA_;
    Relaxed<bool> statusChannelB_;
    Relaxed<TVirtualDriverLyraRM*> virtualDriver_;
    Relaxed<int32_t> zeroChannelA_;
    Relaxed<int32_t> zeroChannelB_;
    Relaxed<bool> showComixHelp_;
    Relaxed<bool> boostThread_;
    Relaxed<ValueSink*> fileSizeLabel_;
    Relaxed<ValueSink*> actualVoltageA_;
    Relaxed<ValueSink*> actualVoltageB_;
    Relaxed<int32_t> periodA_;
    Relaxed<int32_t> periodB_;
    Relaxed<int32_t> amplitudeA_;
    Relaxed<int32_t> amplitudeB_;
    Relaxed<int32_t> noiseA_;
    Relaxed<int32_t> noiseB_;
    Relaxed<uint16_t> actualVoltage_;
    std::atomic<uint64_t> lostDataMarks_{0};
    // Set while a post to show the count is queued. Exchanged with acquire-release, so
    // the user-interface thread that takes it back also sees the count added before it.
    std::atomic<bool> lostDataShowPending_{false};
    Relaxed<ValueSink*> lostDataLabel_;
    Relaxed<bool> settingsToFile_;
    Relaxed<int32_t> cachedDataStatus_;
    Relaxed<bool> applicationInitialized_;
};

}  // namespace rollmode::core
