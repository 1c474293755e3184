// The module's view of the trace-system library: the exports it binds, in binding order.
#pragma once

#include "contracts/KvTraceHub001.h"

constexpr char kTraceSystemFileName[] = "KvTraceHub001.dll";

// All 22 kept entry points; InitTraceSystem is looked up last and called once, not kept.
struct TraceEntryPoints {
    KvTrace_Write Write;
    KvTrace_WriteEntry WriteEntry;
    KvTrace_Dump Dump;
    KvTrace_DumpEntry DumpEntry;
    KvTrace_ConfigureTrace ConfigureTrace;
    KvTrace_IsTracingEnabled IsTracingEnabled;
    KvTrace_SetTracingEnabled SetTracingEnabled;
    KvTrace_SetAppTracingLevel SetAppTracingLevel;
    KvTrace_GetAppTracingLevel GetAppTracingLevel;
    KvTrace_ShouldTrace ShouldTrace;
    KvTrace_ShouldTraceCategory ShouldTraceCategory;
    KvTrace_SetLevel SetLevel;
    KvTrace_GetLevel GetLevel;
    KvTrace_ListenerExists ListenerExists;
    KvTrace_AddListener AddListener;
    KvTrace_AddConsoleListener AddConsoleListener;
    KvTrace_AddTextfileListener AddTextfileListener;
    KvTrace_RemoveListenerCategory RemoveListenerCategory;
    KvTrace_RemoveListener RemoveListener;
    KvTrace_RemoveCategory RemoveCategory;
    KvTrace_RemoveAllCategories RemoveAllCategories;
    KvTrace_DoneTraceSystem DoneTraceSystem;
};

// Export names in the order of the fields above.
constexpr const char* kTraceEntryPointNames[] = {
    "Write",           "WriteEntry",          "Dump",
    "DumpEntry",       "ConfigureTrace",      "IsTracingEnabled",
    "SetTracingEnabled", "SetAppTracingLevel", "GetAppTracingLevel",
    "ShouldTrace",     "ShouldTraceCategory", "SetLevel",
    "GetLevel",        "ListenerExists",      "AddListener",
    "AddConsoleListener", "AddTextfileListener", "RemoveListenerCategory",
    "RemoveListener",  "RemoveCategory",      "RemoveAllCategories",
    "DoneTraceSystem",
};
constexpr char kInitTraceSystemName[] = "InitTraceSystem";

static_assert(sizeof(kTraceEntryPointNames) / sizeof(kTraceEntryPointNames[0]) ==
                  sizeof(TraceEntryPoints) / sizeof(void*),
              "one name per entry point");
