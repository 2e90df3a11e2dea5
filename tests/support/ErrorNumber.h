#pragma once
// The number of the RuntimeError a call raises, 0 when it raises none.
#include "platform/api/RuntimeError.h"

namespace testsupport {

template <typename Call>
long ErrorNumberOf(Call call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace testsupport
