// Checks a request's outcome against the expectations the scenario wrote after it.
#pragma once

#include "bench/outcome.h"
#include "bench/scenario.h"

#include <string>
#include <vector>

namespace bench {

struct Verdict {
    const Expectation* expectation = nullptr;
    bool met = false;
    std::string difference;  // what was found instead, when not met
};

std::vector<Verdict> Check(const std::vector<Expectation>& expectations, const RequestOutcome& outcome);

}  // namespace bench
