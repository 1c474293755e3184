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

/* Function types, one per export, in the order in which a client binds them.
 *
 * Every export may be called from any number of threads at once. Categories are 1 to 127
 * characters and compared without regard to ASCII case; a null, empty or longer category makes a
 * write do nothing and a setter fail with ERROR_INVALID_PARAMETER. A category without a level of
 * its own has the application-wide level; the category "*" names listeners that receive the lines
 * of every category (each category still filters by its own level). Before InitTraceSystem and
 * after DoneTraceSystem nothing is written, questions answer false or 0 and setters fail with
 * ERROR_NOT_READY. Setters that fail set the last error; writes leave the caller's last error as
 * it was. */

/* Writes one line if the category traces the level: true when at least one listener took it.
 * A null text writes nothing; texts longer than 4095 bytes are cut; CR and LF become spaces. */
typedef bool(KVTRACE_CALL* KvTrace_Write)(int32_t level, const char* category, const char* text);
/* As Write, the text preceded by "sourceFile(sourceLine) function: " (null parts left out). */
typedef bool(KVTRACE_CALL* KvTrace_WriteEntry)(int32_t level, const char* category, const char* sourceFile,
                                               int32_t sourceLine, const char* function, const char* text);
/* Writes a header line "Dump <title> <name>, <size> bytes" and the block as hex and printable
 * characters, 16 bytes a line, in one piece. Size 0 writes the header only; a null block with a
 * size above 0 writes nothing; beyond 64 KiB a last line says how many bytes were left out. */
typedef bool(KVTRACE_CALL* KvTrace_Dump)(int32_t level, const char* category, const char* title,
                                         const char* name, const void* data, uint32_t size);
/* As Dump, the header preceded by "sourceFile(sourceLine): ". */
typedef bool(KVTRACE_CALL* KvTrace_DumpEntry)(int32_t level, const char* category, const char* sourceFile,
                                              int32_t sourceLine, const char* title, const char* name,
                                              const void* data, uint32_t size);
/* settings: "name=value" pairs separated by ';' in the form of the registry configuration;
 * null re-reads the registry. Replaces the whole configuration; items that cannot be used are
 * skipped with a note on the debugger output and make the result false. */
typedef bool(KVTRACE_CALL* KvTrace_ConfigureTrace)(const char* settings);
/* The global switch; while it is off nothing is written. */
typedef bool(KVTRACE_CALL* KvTrace_IsTracingEnabled)(void);
typedef void(KVTRACE_CALL* KvTrace_SetTracingEnabled)(bool enabled);
/* The level of every category that has none of its own (default 2). */
typedef void(KVTRACE_CALL* KvTrace_SetAppTracingLevel)(int32_t level);
typedef int32_t(KVTRACE_CALL* KvTrace_GetAppTracingLevel)(void);
/* Whether output of this level could be written anywhere: one atomic read, no lock. */
typedef bool(KVTRACE_CALL* KvTrace_ShouldTrace)(int32_t level);
/* Whether the category writes this level to at least one listener. */
typedef bool(KVTRACE_CALL* KvTrace_ShouldTraceCategory)(int32_t level, const char* category);
typedef bool(KVTRACE_CALL* KvTrace_SetLevel)(const char* category, int32_t level);
/* The category's level, its own or the application-wide one; 0 for an unusable category. */
typedef int32_t(KVTRACE_CALL* KvTrace_GetLevel)(const char* category);
/* Listeners are named per category (names compared without regard to ASCII case).
 * AddListener fails with ERROR_ALREADY_EXISTS for a name the category has, ERROR_INVALID_PARAMETER
 * for an unknown kind or a text file without target, and with the system's error (for example
 * ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION) when the file cannot be
 * opened. AddConsoleListener names its listener "Console", AddTextfileListener after the path.
 * The Remove functions fail with ERROR_NOT_FOUND when there is nothing to remove. */
typedef bool(KVTRACE_CALL* KvTrace_ListenerExists)(const char* category, const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_AddListener)(const char* category, const char* listenerName,
                                                int32_t kind, const char* target);
typedef bool(KVTRACE_CALL* KvTrace_AddConsoleListener)(const char* category);
typedef bool(KVTRACE_CALL* KvTrace_AddTextfileListener)(const char* category, const char* filePath);
typedef bool(KVTRACE_CALL* KvTrace_RemoveListenerCategory)(const char* category, const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_RemoveListener)(const char* listenerName);
typedef bool(KVTRACE_CALL* KvTrace_RemoveCategory)(const char* category);
/* Removes every category with its level and listeners; switch and application level stay. */
typedef void(KVTRACE_CALL* KvTrace_RemoveAllCategories)(void);
/* Stops all output, waits up to 5 s for writers still inside, flushes and closes every file.
 * Further calls are harmless no-ops. */
typedef void(KVTRACE_CALL* KvTrace_DoneTraceSystem)(void);
/* Reads the registry configuration and starts the trace system; true. On a running system it
 * does nothing; after DoneTraceSystem it starts afresh. */
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
