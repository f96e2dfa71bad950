#pragma once

#include "RuntimeError.h"

#include <utility>
#include <vector>

namespace tidewell {

// The steps of a procedure that failed, in the order they ran, each with its
// run-time error; the caller reports them, a window at its own statement
// numbers.
template <typename Step>
using StepFailures = std::vector<std::pair<Step, RuntimeError>>;

// Runs one step; true when it did not fail.
template <typename Step, typename Work>
bool attempt(StepFailures<Step> &failures, Step step, Work &&work)
{
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const RuntimeError &error) {
        failures.emplace_back(step, error);
        return false;
    }
}

} // namespace tidewell
