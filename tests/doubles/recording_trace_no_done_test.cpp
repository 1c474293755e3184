// The variant of the recording library that lacks DoneTraceSystem: every other export is there,
// so a binder that needs all of them must be the one to reject it.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(RecordingTraceWithoutDone, LacksOnlyDoneTraceSystem) {
    HMODULE library = ::LoadLibraryA("KvTraceHub001.dll");
    ASSERT_NE(nullptr, library);
    for (const char* name : {"Write", "WriteEntry", "Dump", "DumpEntry", "ConfigureTrace", "IsTracingEnabled",
                             "SetTracingEnabled", "SetAppTracingLevel", "GetAppTracingLevel", "ShouldTrace",
                             "ShouldTraceCategory", "SetLevel", "GetLevel", "ListenerExists", "AddListener",
                             "AddConsoleListener", "AddTextfileListener", "RemoveListenerCategory", "RemoveListener",
                             "RemoveCategory", "RemoveAllCategories", "InitTraceSystem", "RecGetCall"}) {
        EXPECT_NE(nullptr, ::GetProcAddress(library, name)) << name;
    }
    EXPECT_EQ(nullptr, ::GetProcAddress(library, "DoneTraceSystem"));
    ::FreeLibrary(library);
}

}  // namespace
