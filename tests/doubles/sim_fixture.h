// Shared set-up for the tests of the simulated setupapi.dll: a fresh simulation per test and
// the device classes the co-installer deals with.
#pragma once

#include "bench/setupapi_sim/setupapi_sim.h"

#include <gtest/gtest.h>

#include <string>

namespace simtest {

// {50DD5230-BA8A-11D1-BF5D-0000F805F530}: smart-card readers.
inline constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};

// Structures with their size field set and everything else zero.
inline SP_DEVINFO_DATA DevInfoData() {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    return data;
}

inline SP_DEVINSTALL_PARAMS_W DevInstallParams(DWORD size = sizeof(SP_DEVINSTALL_PARAMS_W)) {
    SP_DEVINSTALL_PARAMS_W params = {};
    params.cbSize = size;
    return params;
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { SimReset(); }
    void TearDown() override { SimReset(); }

    static std::string JournalFunction(size_t index) {
        SimCall call = {};
        return SimGetJournalEntry(index, &call) ? call.function : "<none>";
    }
    static std::string JournalArguments(size_t index) {
        SimCall call = {};
        return SimGetJournalEntry(index, &call) ? call.arguments : "<none>";
    }
};

}  // namespace simtest
