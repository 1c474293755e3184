/* Control interface of the recording stand-in for KvTraceHub001.dll: it records every call with
 * the bytes it was given and answers level questions from levels the test sets. Linking its import
 * library shares one instance with the module; pointers stay valid until the next RecReset. */
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

#define REC_INITIAL_DEFAULT_LEVEL 16
#define REC_SHOULD_TRACE_COMPUTED (-1)

/* Forgets recorded calls, category levels and the ShouldTrace override; the default level
 * becomes REC_INITIAL_DEFAULT_LEVEL. The InitTraceSystem state is kept, as the binding that
 * calls it lasts for the whole process; RecForgetInit forgets it. */
REC_API void RecReset(void);
REC_API void RecForgetInit(void);

/* GetLevel and ShouldTraceCategory answer from the category's level (exact byte comparison) or
 * the default level. ShouldTrace answers 0 or 1 as set, or, computed, true when the level is at
 * most the default level or at most the level of some category that was set. */
REC_API void RecSetDefaultLevel(int32_t level);
REC_API void RecSetCategoryLevel(const char* category, int32_t level);
REC_API void RecSetShouldTraceAnswer(int32_t answer);

REC_API uint32_t RecInitCount(void);
REC_API bool RecInitialised(void);

/* One call of one export; a field the export does not take stays null / 0. String fields are
 * null when the argument was null; data is null when the pointer was. */
typedef struct RecCall {
    const char* function;  /* the export's name */
    bool initialised;      /* InitTraceSystem had completed before this call began */
    uint32_t threadId;
    int32_t level;
    const char* category;
    const char* text;      /* Write, WriteEntry */
    const char* title;     /* Dump, DumpEntry */
    const char* name;
    const unsigned char* data;
    uint32_t size;
} RecCall;

REC_API size_t RecCallCount(void);
REC_API bool RecGetCall(size_t index, RecCall* call);
/* Calls of any export other than InitTraceSystem made while it had not been called. */
REC_API size_t RecCallsBeforeInit(void);

#ifdef __cplusplus
}
#endif

#endif
