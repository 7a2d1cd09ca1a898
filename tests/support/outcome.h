// The outcome of a run that may fail: what it returned, or its failure's text.
#pragma once

#include <string>

#include "tests/support/printing.h"
#include "win/failure.h"

namespace zarn::testing {

template <class TRun>
std::string Outcome(TRun run) {
    try {
        return run();
    } catch (const TFailure& failure) {
        return "failure: " + Narrow(failure.Text());
    }
}

}  // namespace zarn::testing
