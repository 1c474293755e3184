// Former names of the getter helpers, for programs outside this folder until they use tests/support.
#pragma once

#include "dirlib/test_support.h"
#include "hosts/host_client.h"
#include "test_support/korvan_folders.h"

namespace dirlib_test {
inline std::string TaggedLine(const std::string& output, const std::string& tag) { return host::Tagged(output, tag); }
struct DesktopReady {
    DesktopReady() { host::Start("desktop"); }
};
}  // namespace dirlib_test
