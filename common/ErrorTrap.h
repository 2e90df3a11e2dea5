#pragma once
// The error trap of a procedure that goes on with the next statement after a
// failing one: each statement runs through SkipErrors, and a run-time error it
// raises is dropped.
#include "platform/api/RuntimeError.h"

namespace ErrorTrap {

template <typename Statement>
void SkipErrors(Statement statement) {
    try {
        statement();
    } catch (const RuntimeError&) {
    }
}

}  // namespace ErrorTrap
