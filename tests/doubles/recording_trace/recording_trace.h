/* Control interface of the recording trace-system library (a stand-in for KvTraceHub001.dll).
 *
 * The library records every call of each of its exports with the exact bytes it was given and
 * answers level questions from levels the test sets. A test program links its import library,
 * so the test and the module that loads "KvTraceHub001.dll" share one instance. Every Rec*
 * function is thread-safe; pointers handed out stay valid until the next RecReset. */
#ifndef RECORDING_TRACE_H
#define RECORDING_TRACE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef RECORDING_TRACE_BUILD
#define REC_API __declspec(dllexport)
#else
#define REC_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Level of every category without a level of its own, until RecSetDefaultLevel. */
#define REC_INITIAL_DEFAULT_LEVEL 16
/* RecSetShouldTraceAnswer: ShouldTrace computes its answer from the levels. */
#define REC_SHOULD_TRACE_COMPUTED (-1)

/* Forgets recorded calls, category levels and the ShouldTrace override; the default level
 * becomes REC_INITIAL_DEFAULT_LEVEL. The InitTraceSystem state is kept: like the binding that
 * calls it, it lasts for the whole process. */
REC_API void RecReset(void);
/* Forgets that InitTraceSystem was called (count 0, not initialised). */
REC_API void RecForgetInit(void);

/* GetLevel(category) answers the category's level (exact, case-sensitive byte comparison), or
 * the default level for categories never set and for a null category. The export SetLevel sets
 * the same table. */
REC_API void RecSetDefaultLevel(int32_t level);
REC_API void RecSetCategoryLevel(const char* category, int32_t level);
/* 0 or 1: ShouldTrace answers false or true whatever the level. REC_SHOULD_TRACE_COMPUTED
 * (the initial state): true when the level is at most the default level or at most the level of
 * some category that was set. */
REC_API void RecSetShouldTraceAnswer(int32_t answer);

/* InitTraceSystem calls so far, and whether one has been made. */
REC_API uint32_t RecInitCount(void);
REC_API bool RecInitialised(void);

/* One call of one export. Fields an export does not take stay null / false / 0:
 *   level:        Write, WriteEntry, Dump, DumpEntry, ShouldTrace, ShouldTraceCategory, SetLevel,
 *                 SetAppTracingLevel
 *   category:     every export with a category argument
 *   text:         Write, WriteEntry
 *   title, name, data, size:  Dump, DumpEntry (data null when the pointer was null; size as passed)
 *   sourceFile, sourceLine:   WriteEntry, DumpEntry;  functionName: WriteEntry
 *   listenerName: ListenerExists, AddListener, RemoveListenerCategory, RemoveListener
 *   argument:     ConfigureTrace settings, AddListener target, AddTextfileListener file path
 *   number:       AddListener kind, SetTracingEnabled enabled (0/1)
 * A string field is null when the argument was null; otherwise it holds the argument's bytes up
 * to its NUL. */
typedef struct RecCall {
    const char* function; /* the export's name */
    bool initialised;     /* InitTraceSystem had completed before this call began */
    uint32_t threadId;
    bool hasLevel;
    int32_t level;
    const char* category;
    const char* text;
    const char* title;
    const char* name;
    const unsigned char* data;
    uint32_t size;
    const char* sourceFile;
    int32_t sourceLine;
    const char* functionName;
    const char* listenerName;
    const char* argument;
    int32_t number;
} RecCall;

/* All calls in the order they were made (across threads: the order they took the lock). */
REC_API size_t RecCallCount(void);
REC_API bool RecGetCall(size_t index, RecCall* call);
/* Calls of one export. */
REC_API size_t RecCountOf(const char* function);
/* Calls of any export other than InitTraceSystem made while it had not been called. */
REC_API size_t RecCallsBeforeInit(void);

#ifdef __cplusplus
}
#endif

#endif
