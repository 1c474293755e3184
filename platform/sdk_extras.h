// Declarations of documented SetupAPI items that the mingw-w64 headers lack: the text-log API
// (Windows Vista and later) and the smart-card filter setup class.
#pragma once

#include <windows.h>
#include <setupapi.h>

typedef DWORDLONG SP_LOG_TOKEN;
typedef DWORDLONG* PSP_LOG_TOKEN;

#ifndef TXTLOG_INSTALLER
#define TXTLOG_INSTALLER 0x40000000
#endif
#ifndef TXTLOG_DETAILS
#define TXTLOG_DETAILS 5
#endif
#ifndef LOGTOKEN_NO_LOG
#define LOGTOKEN_NO_LOG ((SP_LOG_TOKEN)-2)
#endif

// The i686 import library names the two varargs (cdecl) text-log functions as if they were
// stdcall with no arguments; the label binds to that import thunk, the call stays cdecl.
#if defined(__i386__) && !defined(TESK_SETUPAPI_IMPLEMENTATION)
#define TESK_IMPORT_LABEL(name) __asm__("_" name)
#else
#define TESK_IMPORT_LABEL(name)
#endif

#ifdef __cplusplus
extern "C" {
#endif

SP_LOG_TOKEN WINAPI SetupGetThreadLogToken(void);
void __cdecl SetupWriteTextLog(SP_LOG_TOKEN logToken, DWORD category, DWORD flags, PCSTR message, ...)
    TESK_IMPORT_LABEL("SetupWriteTextLog@0");
void __cdecl SetupWriteTextLogError(SP_LOG_TOKEN logToken, DWORD category, DWORD flags, DWORD error,
                                    PCSTR message, ...) TESK_IMPORT_LABEL("SetupWriteTextLogError@0");

#ifdef __cplusplus
}
#endif

// {DB4F6DDD-9C0E-45E4-9597-78DBBAD0F412}
inline constexpr GUID GUID_DEVCLASS_SMARTCARDFILTER = {
    0xdb4f6ddd, 0x9c0e, 0x45e4, {0x95, 0x97, 0x78, 0xdb, 0xba, 0xd0, 0xf4, 0x12}};
