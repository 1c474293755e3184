// Owner of a SetupAPI device information set; failure is INVALID_HANDLE_VALUE, not null.
#pragma once

#include "platform/unique_resource.h"

#include <setupapi.h>

namespace tesk {
namespace traits {

struct DevInfo {
    using pointer = HDEVINFO;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer p) noexcept { ::SetupDiDestroyDeviceInfoList(p); }
};

}  // namespace traits

using UniqueHdevinfo = UniqueResource<traits::DevInfo>;

}  // namespace tesk
