#pragma once

#include <windows.h>

// Receives every message of the component directory library and passes it into the trace:
// errors at level 2, everything else at level 16, in the co-installer's category.
void WINAPI ForwardLibraryLog(bool isError, const wchar_t* message);
