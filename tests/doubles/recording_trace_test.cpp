// The recording trace-system library, used the way the trace binding uses the real one: bound
// by undecorated export names, called from several threads.
#include "tests/doubles/recording_trace/recording_trace.h"
#include "contracts/KvTraceHub001.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Resolves an export the way the binding does; a missing one fails the test at once.
template <typename Fn>
Fn Bind(const char* name) {
    HMODULE library = ::GetModuleHandleA("KvTraceHub001.dll");
    FARPROC proc = library ? ::GetProcAddress(library, name) : nullptr;
    EXPECT_NE(nullptr, proc) << name;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

RecCall CallAt(size_t index) {
    RecCall call = {};
    EXPECT_TRUE(RecGetCall(index, &call)) << index;
    return call;
}

class RecordingTrace : public ::testing::Test {
protected:
    void SetUp() override { RecReset(); }
    void TearDown() override { RecReset(); }
};

TEST_F(RecordingTrace, CallsBeforeInitTraceSystemAreMarked) {
    RecForgetInit();
    auto write = Bind<KvTrace_Write>("Write");
    auto init = Bind<KvTrace_InitTraceSystem>("InitTraceSystem");
    auto getLevel = Bind<KvTrace_GetLevel>("GetLevel");
    EXPECT_FALSE(RecInitialised());
    write(8, "C", "early");
    EXPECT_TRUE(init());
    getLevel("C");
    write(8, "C", "late");

    EXPECT_EQ(1u, RecInitCount());
    EXPECT_TRUE(RecInitialised());
    EXPECT_EQ(1u, RecCallsBeforeInit());
    ASSERT_EQ(4u, RecCallCount());
    EXPECT_FALSE(CallAt(0).initialised);
    EXPECT_STREQ("InitTraceSystem", CallAt(1).function);
    EXPECT_FALSE(CallAt(1).initialised) << "stamped with the state before the call";
    EXPECT_TRUE(CallAt(2).initialised);
    EXPECT_TRUE(CallAt(3).initialised);

    EXPECT_TRUE(init());
    EXPECT_EQ(2u, RecInitCount());
}

TEST_F(RecordingTrace, ResetKeepsTheInitState) {
    Bind<KvTrace_InitTraceSystem>("InitTraceSystem")();
    const uint32_t inits = RecInitCount();
    RecSetCategoryLevel("C", 2);
    RecSetDefaultLevel(1);
    RecSetShouldTraceAnswer(0);
    RecReset();
    EXPECT_EQ(0u, RecCallCount());
    EXPECT_EQ(inits, RecInitCount());
    EXPECT_TRUE(RecInitialised());
    EXPECT_EQ(REC_INITIAL_DEFAULT_LEVEL, Bind<KvTrace_GetLevel>("GetLevel")("C"));
    EXPECT_TRUE(Bind<KvTrace_ShouldTrace>("ShouldTrace")(REC_INITIAL_DEFAULT_LEVEL));
    RecForgetInit();
    EXPECT_EQ(0u, RecInitCount());
    EXPECT_FALSE(RecInitialised());
}

TEST_F(RecordingTrace, EveryExportIsRecordedUnderItsName) {
    Bind<KvTrace_Write>("Write")(1, "c", "t");
    Bind<KvTrace_WriteEntry>("WriteEntry")(2, "c", "f.cpp", 12, "Fn", "t");
    Bind<KvTrace_Dump>("Dump")(4, "c", "title", "n", "ab", 2);
    Bind<KvTrace_DumpEntry>("DumpEntry")(8, "c", "f.cpp", 13, "title", "n", "ab", 2);
    Bind<KvTrace_ConfigureTrace>("ConfigureTrace")("a=b");
    Bind<KvTrace_IsTracingEnabled>("IsTracingEnabled")();
    Bind<KvTrace_SetTracingEnabled>("SetTracingEnabled")(true);
    Bind<KvTrace_SetAppTracingLevel>("SetAppTracingLevel")(4);
    Bind<KvTrace_GetAppTracingLevel>("GetAppTracingLevel")();
    Bind<KvTrace_ShouldTrace>("ShouldTrace")(8);
    Bind<KvTrace_ShouldTraceCategory>("ShouldTraceCategory")(8, "c");
    Bind<KvTrace_SetLevel>("SetLevel")("c", 4);
    Bind<KvTrace_GetLevel>("GetLevel")("c");
    Bind<KvTrace_ListenerExists>("ListenerExists")("c", "l");
    Bind<KvTrace_AddListener>("AddListener")("c", "l", KvTraceListenerTextfile, "x.log");
    Bind<KvTrace_AddConsoleListener>("AddConsoleListener")("c");
    Bind<KvTrace_AddTextfileListener>("AddTextfileListener")("c", "y.log");
    Bind<KvTrace_RemoveListenerCategory>("RemoveListenerCategory")("c", "l");
    Bind<KvTrace_RemoveListener>("RemoveListener")("l");
    Bind<KvTrace_RemoveCategory>("RemoveCategory")("c");
    Bind<KvTrace_RemoveAllCategories>("RemoveAllCategories")();
    Bind<KvTrace_DoneTraceSystem>("DoneTraceSystem")();
    Bind<KvTrace_InitTraceSystem>("InitTraceSystem")();

    const char* expected[] = {"Write", "WriteEntry", "Dump", "DumpEntry", "ConfigureTrace", "IsTracingEnabled",
                              "SetTracingEnabled", "SetAppTracingLevel", "GetAppTracingLevel", "ShouldTrace",
                              "ShouldTraceCategory", "SetLevel", "GetLevel", "ListenerExists", "AddListener",
                              "AddConsoleListener", "AddTextfileListener", "RemoveListenerCategory",
                              "RemoveListener", "RemoveCategory", "RemoveAllCategories", "DoneTraceSystem",
                              "InitTraceSystem"};
    ASSERT_EQ(23u, RecCallCount());
    for (size_t i = 0; i < 23; ++i) {
        EXPECT_STREQ(expected[i], CallAt(i).function);
        EXPECT_EQ(1u, RecCountOf(expected[i])) << expected[i];
    }
    EXPECT_EQ(KvTraceListenerTextfile, CallAt(14).number);
    EXPECT_STREQ("x.log", CallAt(14).argument);
    EXPECT_STREQ("l", CallAt(14).listenerName);
    EXPECT_STREQ("a=b", CallAt(4).argument);
    EXPECT_EQ(1, CallAt(6).number);
    EXPECT_EQ(0u, RecCountOf("NoSuchExport"));
}

TEST_F(RecordingTrace, WriteKeepsTheExactBytes) {
    char text[] = "CoDeviceInstall::L\xf6sche dazugeh\xf6rigen ScFilter...";
    const std::string original = text;
    Bind<KvTrace_Write>("Write")(16, "TESK.CoInstall", text);
    std::memset(text, 'x', sizeof text - 1);

    const RecCall call = CallAt(0);
    EXPECT_STREQ("Write", call.function);
    EXPECT_TRUE(call.hasLevel);
    EXPECT_EQ(16, call.level);
    EXPECT_STREQ("TESK.CoInstall", call.category);
    EXPECT_EQ(original, call.text);
    EXPECT_EQ(nullptr, call.title);
    EXPECT_EQ(GetCurrentThreadId(), call.threadId);
}

TEST_F(RecordingTrace, NullStringsStayNull) {
    Bind<KvTrace_Write>("Write")(2, nullptr, nullptr);
    Bind<KvTrace_Write>("Write")(2, "", "");
    EXPECT_EQ(nullptr, CallAt(0).category);
    EXPECT_EQ(nullptr, CallAt(0).text);
    EXPECT_STREQ("", CallAt(1).category);
    EXPECT_STREQ("", CallAt(1).text);
}

TEST_F(RecordingTrace, DumpKeepsTitleNameSizeAndEveryByte) {
    const unsigned char block[20] = {0x08, 0, 0, 0, 0x12, 0, 0, 0, 0x02, 0, 0, 0, 0xf6, 0xff, 0, 0, 0x01};
    Bind<KvTrace_Dump>("Dump")(8, "TESK.CoInstall.Dump", "SP_PROPCHANGE_PARAMS", "pcp", block, sizeof block);
    Bind<KvTrace_Dump>("Dump")(8, "TESK.CoInstall.Dump", "t", "n", nullptr, 7);

    RecCall call = CallAt(0);
    EXPECT_STREQ("Dump", call.function);
    EXPECT_EQ(8, call.level);
    EXPECT_STREQ("TESK.CoInstall.Dump", call.category);
    EXPECT_STREQ("SP_PROPCHANGE_PARAMS", call.title);
    EXPECT_STREQ("pcp", call.name);
    ASSERT_EQ(20u, call.size);
    ASSERT_NE(nullptr, call.data);
    EXPECT_NE(static_cast<const void*>(block), static_cast<const void*>(call.data));
    EXPECT_EQ(0, std::memcmp(block, call.data, sizeof block));

    call = CallAt(1);
    EXPECT_EQ(nullptr, call.data);
    EXPECT_EQ(7u, call.size);
}

TEST_F(RecordingTrace, EntryVariantsKeepTheSourcePosition) {
    Bind<KvTrace_WriteEntry>("WriteEntry")(4, "C", "TESK_CoInstaller.cpp", 321, "CoDeviceInstall", "text");
    Bind<KvTrace_DumpEntry>("DumpEntry")(4, "C", "a.cpp", 9, "T", "N", "\xf6", 1);
    RecCall call = CallAt(0);
    EXPECT_STREQ("TESK_CoInstaller.cpp", call.sourceFile);
    EXPECT_EQ(321, call.sourceLine);
    EXPECT_STREQ("CoDeviceInstall", call.functionName);
    EXPECT_STREQ("text", call.text);
    call = CallAt(1);
    EXPECT_STREQ("a.cpp", call.sourceFile);
    EXPECT_EQ(9, call.sourceLine);
    EXPECT_STREQ("T", call.title);
    ASSERT_EQ(1u, call.size);
    EXPECT_EQ(0xf6, call.data[0]);
}

TEST_F(RecordingTrace, GetLevelAnswersTheCategoryOrTheDefault) {
    auto getLevel = Bind<KvTrace_GetLevel>("GetLevel");
    EXPECT_EQ(REC_INITIAL_DEFAULT_LEVEL, getLevel("TESK.CoInstall"));
    RecSetCategoryLevel("TESK.CoInstall", 4);
    RecSetDefaultLevel(2);
    EXPECT_EQ(4, getLevel("TESK.CoInstall"));
    EXPECT_EQ(2, getLevel("tesk.coinstall"));
    EXPECT_EQ(2, getLevel("TESK.CoInstall.Dump"));
    EXPECT_EQ(2, getLevel(nullptr));
    RecSetCategoryLevel("Neg", -5);
    EXPECT_EQ(-5, getLevel("Neg"));

    EXPECT_TRUE(Bind<KvTrace_SetLevel>("SetLevel")("TESK.CoInstall", 16));
    EXPECT_EQ(16, getLevel("TESK.CoInstall"));
    EXPECT_FALSE(Bind<KvTrace_SetLevel>("SetLevel")(nullptr, 16));
    EXPECT_STREQ("GetLevel", CallAt(0).function);
    EXPECT_STREQ("TESK.CoInstall", CallAt(0).category);
    EXPECT_FALSE(CallAt(0).hasLevel);
}

TEST_F(RecordingTrace, ShouldTraceCategoryComparesWithTheCategoryLevel) {
    auto should = Bind<KvTrace_ShouldTraceCategory>("ShouldTraceCategory");
    RecSetCategoryLevel("TESK.CoInstall", 8);
    RecSetDefaultLevel(1);
    EXPECT_TRUE(should(7, "TESK.CoInstall"));
    EXPECT_TRUE(should(8, "TESK.CoInstall"));
    EXPECT_FALSE(should(9, "TESK.CoInstall"));
    EXPECT_TRUE(should(1, "Other"));
    EXPECT_FALSE(should(2, "Other"));
    EXPECT_EQ(9, CallAt(2).level);
    EXPECT_STREQ("TESK.CoInstall", CallAt(2).category);
}

TEST_F(RecordingTrace, ShouldTraceAsksEveryLevelUnlessOverridden) {
    auto should = Bind<KvTrace_ShouldTrace>("ShouldTrace");
    RecSetDefaultLevel(2);
    EXPECT_TRUE(should(2));
    EXPECT_FALSE(should(3));
    RecSetCategoryLevel("A", 1);
    RecSetCategoryLevel("B", 8);
    EXPECT_TRUE(should(8));
    EXPECT_FALSE(should(9));

    RecSetShouldTraceAnswer(0);
    EXPECT_FALSE(should(1));
    RecSetShouldTraceAnswer(1);
    EXPECT_TRUE(should(100));
    RecSetShouldTraceAnswer(REC_SHOULD_TRACE_COMPUTED);
    EXPECT_FALSE(should(9));
    EXPECT_EQ(7u, RecCountOf("ShouldTrace"));
    EXPECT_EQ(100, CallAt(5).level);
}

TEST_F(RecordingTrace, CallsFromManyThreadsAreAllKeptIntact) {
    constexpr int kThreads = 8;
    constexpr int kCalls = 400;
    auto write = Bind<KvTrace_Write>("Write");
    auto should = Bind<KvTrace_ShouldTraceCategory>("ShouldTraceCategory");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([=] {
            const std::string category = "T" + std::to_string(t);
            for (int i = 0; i < kCalls; ++i) {
                should(8, category.c_str());
                write(8, category.c_str(), std::to_string(i).c_str());
            }
        });
    }
    for (auto& thread : threads) thread.join();

    ASSERT_EQ(static_cast<size_t>(2 * kThreads * kCalls), RecCallCount());
    EXPECT_EQ(static_cast<size_t>(kThreads * kCalls), RecCountOf("Write"));
    std::vector<int> next(kThreads, 0);
    for (size_t i = 0; i < RecCallCount(); ++i) {
        const RecCall call = CallAt(i);
        if (std::strcmp(call.function, "Write") != 0) continue;
        ASSERT_EQ('T', call.category[0]);
        const int t = std::stoi(call.category + 1);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(std::to_string(next[t]++), call.text) << "thread " << t;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(kCalls, next[t]);
}

}  // namespace
