// Former names of the server helpers, for programs outside this folder until they use tests/support.
#pragma once

#include "dirlib/test_support.h"
#include "test_support/com_server.h"

namespace confsvc_test {
using namespace test_support;
}  // namespace confsvc_test
