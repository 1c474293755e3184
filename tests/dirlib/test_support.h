// Former names of the shared test helpers, for programs outside this folder until they use
// tests/support directly.
#pragma once

#include "platform/unique_resource.h"
#include "test_support/files.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"

namespace dirlib_test {
using namespace test_support;
using HostResult = test_support::ProcessResult;
}  // namespace dirlib_test
