#include "ProcessingThreadRM.h"

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "platform/Tick.h"
#include "ports/RollScreenView.h"

namespace rollmode::core {

TProcessingThreadRM::TProcessingThreadRM(TFlowManagerLyraRM& flow, RollScreenView* screen)
    : flow_(flow), screen_(screen) {}

TProcessingThreadRM::~TProcessingThreadRM() { Join(nullptr); }

void TProcessingThreadRM::Execute() {
    TDataSourceModuleLyraRM& ring = *flow_.DataSourceInstance();
    TVirtualScopeLyraRM& scope = *flow_.VirtualScope();
    while (!Terminated()) {
        int32_t n = 0;
        const uint16_t* p = ring.GetReadBuffer(n);
        if (!p) {
            // Idle: runs the record file still gathers go to disk now.
            scope.FlushRecordFile();
            platform::SleepMs(2);
            continue;
        }
        if (n <= 0) {
            ring.CommitRead(0);
            continue;
        }
        if (RollScreenView* screen = Screen()) screen->ProcessBlock(p, static_cast<uint32_t>(n));
        scope.AppendToRecordFile(p, static_cast<uint32_t>(n));
        scope.SetActualVoltage(p[n - 1]);
        ring.CommitRead(n);
    }
}

}  // namespace rollmode::core
