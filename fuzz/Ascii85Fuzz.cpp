// The Ascii85 decoder of stored passwords: any text decodes or is refused
// without a fault, and the encoding of any bytes decodes back to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/modBase85.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const modBase85::Bytes input(data, data + size);
    modBase85::Bytes decoded;
    modBase85::DecodeBytes(input, decoded);

    modBase85::Bytes back;
    if (!modBase85::DecodeBytes(modBase85::EncodeBytes(input, size % 2 == 0), back) || back != input) {
        std::abort();
    }
    return 0;
}
