#include "Transport.h"

namespace rollmode::driver {

BindResult Transport::Load(const std::string& libraryName) {
    Unload();
    library_ = platform::DynamicLibrary::Load(libraryName);
    if (!library_.IsLoaded()) return BindResult::LibraryMissing;

    InitDevice = library_.Bind<abi::USBInitDeviceFn>("USBInitDevice");
    FlushBuffer = library_.Bind<abi::USBFlushBufferFn>("USBFlushBuffer");
    ConfigureFPGA = library_.Bind<abi::USBConfigureFPGAFn>("USBConfigureFPGA");
    SingleRead = library_.Bind<abi::USBSingleReadFn>("USBSingleRead");
    SingleWriteWithoutFlush = library_.Bind<abi::USBSingleWriteWithoutFlushFn>("USBSingleWriteWithoutFlush");
    SingleWrite = library_.Bind<abi::USBSingleWriteFn>("USBSingleWrite");
    FIFORead = library_.Bind<abi::USBFIFOReadFn>("USBFIFORead");
    RollFIFORead = library_.Bind<abi::USBRollFIFOReadFn>("USBRollFIFORead");
    FIFOWrite = library_.Bind<abi::USBFIFOWriteFn>("USBFIFOWrite");
    WriteToEEPROM = library_.Bind<abi::USBWriteToEEPROMFn>("USBWriteToEEPROM");
    ReadFromEEPROM = library_.Bind<abi::USBReadFromEEPROMFn>("USBReadFromEEPROM");
    GetDeviceID = library_.Bind<abi::USBGetDeviceIDFn>("USBGetDeviceID");
    SetCallBackFunction = library_.Bind<abi::USBSetCallBackFunctionFn>("USBSetCallBackFunction");
    DeviceReady = library_.Bind<abi::DeviceReadyFn>("DeviceReady");
    GetDriverVersion = library_.Bind<abi::GetDriverVersionFn>("GetDriverVersion");

    const bool complete = FlushBuffer && ConfigureFPGA && SingleRead && SingleWriteWithoutFlush &&
                          SingleWrite && FIFORead && RollFIFORead && FIFOWrite && WriteToEEPROM &&
                          ReadFromEEPROM && GetDeviceID && SetCallBackFunction && DeviceReady &&
                          GetDriverVersion;
    if (!complete) {
        // Keep the library loaded (it is released by Unload) but never call into half of it.
        ClearEntries();
        return BindResult::EntryMissing;
    }
    return BindResult::Bound;
}

bool Transport::Unload() {
    ClearEntries();
    if (!library_.IsLoaded()) return false;
    library_.Unload();
    return true;
}

void Transport::ClearEntries() {
    InitDevice = nullptr;
    FlushBuffer = nullptr;
    ConfigureFPGA = nullptr;
    SingleRead = nullptr;
    SingleWriteWithoutFlush = nullptr;
    SingleWrite = nullptr;
    FIFORead = nullptr;
    RollFIFORead = nullptr;
    FIFOWrite = nullptr;
    WriteToEEPROM = nullptr;
    ReadFromEEPROM = nullptr;
    GetDeviceID = nullptr;
    SetCallBackFunction = nullptr;
    DeviceReady = nullptr;
    GetDriverVersion = nullptr;
}

}  // namespace rollmode::driver
