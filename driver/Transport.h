#pragma once
// The USB transport library as the driver library sees it: loaded by name at run time and bound
// entry point by entry point.
#include <cstdint>
#include <string>

#include "platform/DynamicLibrary.h"
#include "rollmode/Abi.h"

namespace rollmode::driver {

enum class BindResult { Bound, LibraryMissing, EntryMissing };

class Transport {
public:
    // Loads the named library and binds its entry points. Every entry but USBInitDevice is
    // required; a missing USBInitDevice is allowed and leaves InitDevice null.
    BindResult Load(const std::string& libraryName);
    // Unloads the library and forgets every entry point; true when a library was loaded.
    bool Unload();
    bool IsBound() const { return SingleWrite != nullptr; }

    abi::USBInitDeviceFn InitDevice = nullptr;
    abi::USBFlushBufferFn FlushBuffer = nullptr;
    abi::USBConfigureFPGAFn ConfigureFPGA = nullptr;
    abi::USBSingleReadFn SingleRead = nullptr;
    abi::USBSingleWriteWithoutFlushFn SingleWriteWithoutFlush = nullptr;
    abi::USBSingleWriteFn SingleWrite = nullptr;
    abi::USBFIFOReadFn FIFORead = nullptr;
    abi::USBRollFIFOReadFn RollFIFORead = nullptr;
    abi::USBFIFOWriteFn FIFOWrite = nullptr;
    abi::USBWriteToEEPROMFn WriteToEEPROM = nullptr;
    abi::USBReadFromEEPROMFn ReadFromEEPROM = nullptr;
    abi::USBGetDeviceIDFn GetDeviceID = nullptr;
    abi::USBSetCallBackFunctionFn SetCallBackFunction = nullptr;
    abi::DeviceReadyFn DeviceReady = nullptr;
    abi::GetDriverVersionFn GetDriverVersion = nullptr;

private:
    void ClearEntries();
    platform::DynamicLibrary library_;
};

}  // namespace rollmode::driver
