// The WQL reader and the moniker reader: any text is read or refused with the
// WMI error, never a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/api/RuntimeError.h"
#include "platform/api/Wmi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        wmi::ParseWql(text);
    } catch (const RuntimeError&) {
    }
    try {
        wmi::ParseMoniker(text);
    } catch (const RuntimeError&) {
    }
    return 0;
}
