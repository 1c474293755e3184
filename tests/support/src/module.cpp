#include "test_support/module.h"

#include <gtest/gtest.h>

namespace test_support {

tesk::UniqueHmodule LoadModule(const std::string& path) {
    tesk::UniqueHmodule module(::LoadLibraryA(path.c_str()));
    EXPECT_TRUE(module.valid()) << path << ": error " << ::GetLastError();
    return module;
}

void* Export(HMODULE module, const char* name) {
    void* function = module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
    EXPECT_NE(nullptr, function) << "export " << name;
    return function;
}

bool BindTraceLibrary(HMODULE module, TraceLibrary& library) {
    void** slots = reinterpret_cast<void**>(&library.entry);
    bool complete = true;
    for (const char* name : kTraceEntryPointNames) {
        *slots = Export(module, name);
        complete = complete && *slots++ != nullptr;
    }
    library.InitTraceSystem = ExportAs<KvTrace_InitTraceSystem>(module, kInitTraceSystemName);
    return complete && library.InitTraceSystem != nullptr;
}

}  // namespace test_support
