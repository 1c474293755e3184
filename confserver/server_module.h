// State of the server DLL shared by its objects: the module handle and the counts that decide
// whether COM may unload it.
#pragma once

#include <windows.h>

extern HMODULE g_serverModule;

// Live objects (class factories included) and LockServer locks.
void AddServerReference();
void ReleaseServerReference();
bool ServerInUse();
