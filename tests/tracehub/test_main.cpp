// The test program doubles as the second process of the shared-file test: started with
// "--append-child <file> <tag> <count> <events>" it reports ready on the event "<events>.ready",
// waits for "<events>.go" so that both processes append at the same time, appends and exits.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int RunAppendChild(const char* path, const char* tag, int count, const std::string& events) {
    const hubtest::HubApi& hub = hubtest::Hub();
    hub.InitTraceSystem();
    const std::string settings = std::string("Level.Child=8;File.Child=") + path;
    if (!hub.ConfigureTrace(settings.c_str())) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (events + ".ready").c_str());
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (events + ".go").c_str());
    if (!ready || !go) return 4;
    SetEvent(ready);
    const DWORD wait = WaitForSingleObject(go, 60000);
    CloseHandle(ready);
    CloseHandle(go);
    if (wait != WAIT_OBJECT_0) return 5;
    for (int i = 0; i < count; ++i) {
        if (!hub.Write(8, "Child", hubtest::NumberedText(tag, i).c_str())) return 3;
    }
    hub.DoneTraceSystem();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--append-child") == 0) {
        return RunAppendChild(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
