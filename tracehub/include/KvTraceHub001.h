/* Public interface of the trace-system library "KvTraceHub001.dll".
 *
 * Every export uses the __stdcall convention on x86 (no effect on x64) and is exported under its
 * undecorated name, so callers bind it with GetProcAddress("Write") and the like.
 * Texts are NUL-terminated narrow strings (ANSI code page bytes, kept as they arrive).
 * Levels are signed 32-bit numbers: smaller is more important (1 critical, 2 error, 4 warning,
 * 8 info, 16 detail). A category traces a level when the level is at most the category's level. */
#ifndef KVTRACEHUB001_H
#define KVTRACEHUB001_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define KVTRACE_CALL __stdcall
#else
#define KVTRACE_CALL
#endif

/* Listener kinds for AddListener. */
typedef enum KvTraceListenerKind {
    KvTraceListenerDebugger = 0, /* OutputDebugStringA */
    KvTraceListenerConsole = 1,  /* the process's standard error */
    KvTraceListenerTextfile = 2  /* a file, appended line by line */
} KvTraceListenerKind;

/* Function types, one per export, in the order in which a client binds them. */
typedef bool(KVTRACE_CALL* KvTrace_Write)(int32_t level, const char* category, const char* text);
typedef bool(KVTRACE_CALL* KvTrace_WriteEntry)(int32_t level, const char* category, const char* sourceFile,
                                               int32_t sourceLine, const char* function, const char* text);
typedef bool(KVTRACE_CALL* KvTrace_Dump)(int32_t level, const char* category, const char* title,
                                         const char* name, const void* data, uint32_t size);
typedef bool(KVTRACE_CALL* KvTrace_DumpEntry)(int32_t level, const char* category, const char* sourceFile,
                                              int32_t sourceLine, const char* title, const char* name,
                                              const void* data, uint32_t size);
/* settings: "name=value" pairs separated by ';' in the form of the registry configuration;
 * null re-reads the registry. */
typedef bool(KVTRACE_CALL* KvTrace_ConfigureTrace)(const char* settings);
typedef bool(KVTRACE_CALL* KvTrace_IsTracingEnabled)(void);
typedef void(KVTRACE_CALL* KvTrace_SetTracingEnabled)(bool enabled);
typedef void(KVTRACE_CALL* KvTrace_SetAppTracingLevel)(int32_t level);
typedef int32_t(KVTRACE_CALL* KvTrace_GetAppTracingLevel)(void);
typedef bool(KVTRACE_CALL* KvTrace_ShouldTrace)(int32_t level);
typedef bool(KVTRACE_CALL* KvTrace_ShouldTraceCategory)(int32_t level, const char* category);
typedef bool(KVTRACE_CALL* KvTrace_SetLevel)(const char* category, int32_t level);
typedef int32_t(KVTRACE_CALL* KvTrace_GetLevel)(const char* category);
typedef bool(KVTRACE_CALL* KvTrace_ListenerExists)(const char* category, const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_AddListener)(const char* category, const char* listenerName,
                                                int32_t kind, const char* target);
typedef bool(KVTRACE_CALL* KvTrace_AddConsoleListener)(const char* category);
typedef bool(KVTRACE_CALL* KvTrace_AddTextfileListener)(const char* category, const char* filePath);
typedef bool(KVTRACE_CALL* KvTrace_RemoveListenerCategory)(const char* category, const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_RemoveListener)(const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_RemoveCategory)(const char* category);
typedef void(KVTRACE_CALL* KvTrace_RemoveAllCategories)(void);
typedef void(KVTRACE_CALL* KvTrace_DoneTraceSystem)(void);
typedef bool(KVTRACE_CALL* KvTrace_InitTraceSystem)(void);

#ifdef KVTRACEHUB_DECLARE_EXPORTS
bool KVTRACE_CALL Write(int32_t level, const char* category, const char* text);
bool KVTRACE_CALL WriteEntry(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine,
                             const char* function, const char* text);
bool KVTRACE_CALL Dump(int32_t level, const char* category, const char* title, const char* name,
                       const void* data, uint32_t size);
bool KVTRACE_CALL DumpEntry(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine,
                            const char* title, const char* name, const void* data, uint32_t size);
bool KVTRACE_CALL ConfigureTrace(const char* settings);
bool KVTRACE_CALL IsTracingEnabled(void);
void KVTRACE_CALL SetTracingEnabled(bool enabled);
void KVTRACE_CALL SetAppTracingLevel(int32_t level);
int32_t KVTRACE_CALL GetAppTracingLevel(void);
bool KVTRACE_CALL ShouldTrace(int32_t level);
bool KVTRACE_CALL ShouldTraceCategory(int32_t level, const char* category);
bool KVTRACE_CALL SetLevel(const char* category, int32_t level);
int32_t KVTRACE_CALL GetLevel(const char* category);
bool KVTRACE_CALL ListenerExists(const char* category, const char* listenerName);
bool KVTRACE_CALL AddListener(const char* category, const char* listenerName, int32_t kind, const char* target);
bool KVTRACE_CALL AddConsoleListener(const char* category);
bool KVTRACE_CALL AddTextfileListener(const char* category, const char* filePath);
bool KVTRACE_CALL RemoveListenerCategory(const char* category, const char* listenerName);
bool KVTRACE_CALL RemoveListener(const char* listenerName);
bool KVTRACE_CALL RemoveCategory(const char* category);
void KVTRACE_CALL RemoveAllCategories(void);
void KVTRACE_CALL DoneTraceSystem(void);
bool KVTRACE_CALL InitTraceSystem(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
