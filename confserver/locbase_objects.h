// The service's three objects. Each answers from ServiceAnswers, as configured per method, and
// notes its calls in the journal.
#pragma once

#include <windows.h>
#include <unknwn.h>

// A new object of the class with one reference held by the caller, or null when memory is short.
IUnknown* CreateLocbaseWsInfo();
IUnknown* CreateLocbaseDir();
IUnknown* CreateLocbaseValue();
