// winbase.h defines FreeModule as a macro, which would rewrite the name of the platform's
// module-freeing trait; the macro is dropped before the platform header is read.
#pragma once

#include <windows.h>
#undef FreeModule
#include "platform/unique_resource.h"
