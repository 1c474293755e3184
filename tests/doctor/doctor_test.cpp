// TeskDoctor.exe against prepared installations: each row spoils one thing of a correct one and
// names the finding that must report it.
#include "contracts/locbase_interfaces.h"
#include "platform/unique_resource.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/korvan_folders.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>

namespace {

using namespace test_support;

constexpr char kTraceKey[] = "SOFTWARE\\Korvan Mirel Compact\\KvTraceHub";
constexpr char kDeviceKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{50DD5230-BA8A-11D1-BF5D-0000F805F530}\\0000";
constexpr char kList[] = "TeskCoInstaller.dll,CoDeviceInstall\0";

void DeleteValue(const char* keyPath, const char* name) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key));
    EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteValueA(key, name));
    ::RegCloseKey(key);
}

// The configuration service's class keys, made in either registry view.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
std::vector<std::string> ClassKeys() {
    std::vector<std::string> keys;
    for (const CLSID& id : {CLSID_LocbaseWsInfo, CLSID_LocbaseDir, CLSID_LocbaseValue}) {
        wchar_t text[40] = {};
        ::StringFromGUID2(id, text, 40);
        keys.push_back("SOFTWARE\\Classes\\CLSID\\" + std::string(text, text + 38));
    }
    return keys;
}

// The other architecture's system directory as this process reaches it.
std::string OtherSystemDirectory() {
    char path[MAX_PATH] = {};
    if (sizeof(void*) == 8) return std::string(path, ::GetSystemWow64DirectoryA(path, MAX_PATH)) + "\\";
    return std::string(path, ::GetSystemWindowsDirectoryA(path, MAX_PATH)) + "\\Sysnative\\";
}

// Module and trace library side by side, the trace file in logs\, the device's co-installer list.
struct Installation {
    VendorRegistry registry;
    KorvanTrees trees;
    ScratchDir dir{"doctor"};
    std::optional<TempDirOverride> temp;
    std::optional<RegisteredServer> server;

    Installation() {
        Place(ProgramDirectory() + "TeskCoInstaller.dll");
        Place(ProgramDirectory() + "KvTraceHub001.dll");
        ::CreateDirectoryA((dir.path() + "logs").c_str(), nullptr);
        registry.SetSetting("LocbaseActive", "aus");
        registry.SetDword(kTraceKey, "Level.TESK.CoInstall", 16);
        registry.SetString(kTraceKey, "File.TESK.CoInstall", dir.path() + "logs\\trace.log");
        registry.SetDword(kTraceKey, "Level.TESK.CoInstall.Dump", 8);
        registry.SetString(kTraceKey, "File.TESK.CoInstall.Dump", dir.path() + "logs\\trace.log");
        registry.SetValue(kDeviceKey, "CoInstallers32", REG_MULTI_SZ, kList, sizeof kList);
    }
    ~Installation() {
        ::DeleteFileA((OtherSystemDirectory() + "TeskCoInstaller.dll").c_str());
        for (const std::string& classKey : ClassKeys()) {
            for (const REGSAM view : {kOwnView, kOtherView}) {
                ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (classKey + "\\InprocServer32").c_str(), view, 0);
                ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, classKey.c_str(), view, 0);
            }
        }
    }
    // The service switched on, its classes naming the other architecture's server in the given view.
    void RegisterOtherArchServer(REGSAM view) {
        registry.SetSetting("LocbaseActive", "ein");
        const std::string server = TESK_OTHER_ARCH_DIST "KvLocbaseService.dll";
        for (const std::string& classKey : ClassKeys()) {
            tesk::UniqueHkey key;
            ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (classKey + "\\InprocServer32").c_str(), 0,
                                                       nullptr, 0, KEY_WRITE | view, nullptr, key.put(), nullptr));
            ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                             static_cast<DWORD>(server.size() + 1));
        }
    }
    // The service registered and switched on, with one answer configured.
    void AnswerService(const std::string& keyPath, const std::string& name, const std::string& text) {
        registry.SetSetting("LocbaseActive", "ein");
        server.emplace();
        registry.SetString(keyPath, name, text);
    }
    void Place(const std::string& source, const std::string& directory = std::string()) {
        const std::string target = (directory.empty() ? dir.path() : directory) + source.substr(source.find_last_of("\\/") + 1);
        ASSERT_TRUE(::CopyFileA(source.c_str(), target.c_str(), FALSE)) << source;
    }
    // Console text mode ends lines in CR LF; compared without the CR.
    ProcessResult Run(const std::string& options = "--json") const {
        ProcessResult result = RunProcess(ProgramDirectory() + "TeskDoctor.exe",
                                          "--module \"" + dir.path() + "TeskCoInstaller.dll\" --host \"" + dir.path() +
                                              "host\\drvinst.exe\" " + options);
        result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'), result.output.end());
        return result;
    }
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
    return text;
}

// Each text replaced in turn, so a path inside a later one is replaced first.
std::string Rewritten(std::string text, std::initializer_list<std::pair<std::string, std::string>> replacements) {
    for (const auto& [from, to] : replacements) text = Replaced(text, from, to);
    return text;
}

struct Row {
    const char* what;
    std::function<void(Installation&)> spoil;
    const char* key;
    const char* kind;
};

TEST(Doctor, EachFaultIsReportedUnderItsKey) {
    const auto setting = [](const char* name, const char* text) {
        return [=](Installation& i) { i.registry.SetSetting(name, text); };
    };
    const Row rows[] = {
        {"missing trace library", [](Installation& i) { ::DeleteFileA((i.dir.path() + "KvTraceHub001.dll").c_str()); },
         "search.result", "problem"},
        {"trace library of the other bitness", [](Installation& i) { i.Place(TESK_OTHER_ARCH_DIST "KvTraceHub001.dll"); }, "search.result",
         "problem"},
        {"trace library lacking an export",
         [](Installation& i) { i.Place(ProgramDirectory() + "module\\KvTraceHub001.dll"); }, "search.result", "problem"},
        {"level unset", [](Installation&) { DeleteValue(kTraceKey, "Level.TESK.CoInstall"); },
         "trace.level.TESK.CoInstall", "warning"},
        {"level 4 with a remove expected to log the parent",
         [](Installation& i) { i.registry.SetDword(kTraceKey, "Level.TESK.CoInstall", 4); }, "trace.remove", "warning"},
        {"trace file in a missing directory",
         [](Installation& i) { i.registry.SetString(kTraceKey, "File.TESK.CoInstall", i.dir.path() + "no\\t.log"); },
         "trace.file.TESK.CoInstall", "problem"},
        {"no trace configuration", [](Installation& i) { ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTraceKey, KEY_WOW64_32KEY, 0); },
         "trace.key", "problem"},
        {"level as text", [](Installation& i) { i.registry.SetString(kTraceKey, "Level.TESK.CoInstall", "16"); },
         "trace.ignored", "warning"},
        {"switch with a blank", setting("LogVia_InternTrace", "EIN "), "switches.LogVia_InternTrace", "warning"},
        {"LocbaseActive missing", [](Installation&) { DeleteValue(kSettingsKey, "LocbaseActive"); },
         "switches.LocbaseActive", "warning"},
        {"internal log directory missing",
         [&](Installation& i) { setting("LogVia_InternTrace", "ein")(i), setting("LogVia_InternTraceDirectory", "C:\\no")(i); },
         "switches.LogVia_InternTraceDirectory", "warning"},
        {"over-long directory",
         [&](Installation& i) {
             std::string deep = i.dir.path() + std::string(120, 'd');
             ::CreateDirectoryA(deep.c_str(), nullptr);
             deep += "\\" + std::string(250 - deep.size(), 'e');
             ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr));
             setting("LocbaseLibDirsActive", "ein")(i), setting("LocbaseLibDirsDirectory", deep.c_str())(i);
         },
         "switches.LocbaseLibDirsDirectory", "warning"},
        {"no co-installer list names the module",
         [](Installation& i) { i.registry.SetValue(kDeviceKey, "CoInstallers32", REG_MULTI_SZ, "other.dll\0", 11); },
         "module.coinstallers", "warning"},
        {"service registered only for the other bitness", [](Installation& i) { i.RegisterOtherArchServer(kOtherView); },
         "service.activation", "warning"},
        {"server of the other bitness in the module's view", [](Installation& i) { i.RegisterOtherArchServer(kOwnView); },
         "service.activation", "warning"},
        {"service answer naming a missing directory",
         [](Installation& i) { i.AnswerService(std::string(kServiceKey) + "\\X0000303", "GetLogPath", i.dir.path() + "no"); },
         "service.answer.X0000303.log", "warning"},
        {"service naming a directory with a hub of the other bitness as the trace component's",
         [](Installation& i) {
             ::CreateDirectoryA((i.dir.path() + "hub").c_str(), nullptr);
             i.Place(TESK_OTHER_ARCH_DIST "KvTraceHub001.dll", i.dir.path() + "hub\\");
             i.AnswerService(std::string(kServiceKey) + "\\X0000302", "GetProgramPath", i.dir.path());
             i.registry.SetString(std::string(kServiceKey) + "\\X0000302", "GetProgramPath.2", "hub");
         },
         "search.result", "problem"},
        {"service journal configured", [](Installation& i) { i.AnswerService(kServiceKey, "Journal", i.dir.path() + "j.txt"); },
         "service.answers", "ok"},
        {"installed copy of the wrong bitness in the other system directory",
         [](Installation& i) { i.Place(ProgramDirectory() + "TeskCoInstaller.dll", OtherSystemDirectory()); },
         "module.other", "warning"},
        {"log directory blocked in every candidate",
         [](Installation& i) {
             WriteFileText(KnownFolder(FOLDERID_LocalAppDataLow) + "Korvan", "x");
             i.temp.emplace(i.dir.path() + "TeskCoInstaller.dll\\");
         },
         "directories.log", "warning"},
        {"trace configuration that denies reading", [](Installation& i) { i.registry.DenyReading(kTraceKey); }, "trace.key",
         "problem"},
        {"module missing", [](Installation& i) { ::DeleteFileA((i.dir.path() + "TeskCoInstaller.dll").c_str()); },
         "module.file", "problem"},
    };
    for (const Row& row : rows) {
        Installation installation;
        row.spoil(installation);
        const ProcessResult result = installation.Run();
        const std::string finding = std::string("\"key\": \"") + row.key + "\", \"kind\": \"" + row.kind + "\"";
        EXPECT_NE(std::string::npos, result.output.find(finding)) << row.what << "\n" << result.output;
        EXPECT_EQ(std::string(row.kind) == "problem" ? 1u : 0u, result.exitCode) << row.what << "\n" << result.output;
    }
}

TEST(Doctor, CorrectInstallationIsAllOk) {
    const Installation installation;
    const ProcessResult json = installation.Run();
    EXPECT_EQ(0u, json.exitCode);
    EXPECT_NE(std::string::npos, json.output.find(Replaced(installation.dir.path(), "\\", "\\\\") + "logs")) << json.output;

    const ProcessResult text = installation.Run("");
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string bits = sizeof(void*) == 8 ? ", 64-bit," : ", 32-bit,";
    EXPECT_EQ(R"(1. Which module would run
   [ok]      <dir>TeskCoInstaller.dll, <bits>, version 1.0.0.0
   [ok]      <system>TeskCoInstaller.dll: not installed
   [ok]      <other system>TeskCoInstaller.dll: not installed
   [ok]      CoInstallers32 of HKLM\SYSTEM\CurrentControlSet\Control\Class\{50DD5230-BA8A-11D1-BF5D-0000F805F530}\0000 names it
2. Library switches (HKLM\SOFTWARE\Korvan Mirel Compact, 32-bit view)
   [ok]      LogVia_InternTrace = missing: the internal log is off
   [ok]      LocbaseActive = REG_SZ "aus": the service is off
   [ok]      LocbaseTracingDirsActive = missing: the one-time path dump is off
   [ok]      LocbaseLibDirsActive = missing: the component-path log is off
   [ok]      LocbaseLogDirX0000302 = missing: no alternative log directory
3. Trace configuration (...\KvTraceHub)
   [ok]      TESK.CoInstall: level 16
   [ok]      file <dir>logs\trace.log: does not exist yet, the trace library will create it
   [ok]      TESK.CoInstall.Dump: level 8
   [ok]      file <dir>logs\trace.log: does not exist yet, the trace library will create it
4. Trace-library search
   [ok]      1 (program directory of X0000302): <dir>KvTraceHub001.dll exists, <bits>, all 23 exports
   [ok]      2 (beside the host): <dir>host\KvTraceHub001.dll does not exist
   [ok]      3 (beside the module): <dir>KvTraceHub001.dll exists, <bits>, all 23 exports
   [ok]      the module loads <dir>KvTraceHub001.dll
5. Configuration service
   [ok]      32-bit processes: LocbaseWsInfo is not registered
   [ok]      64-bit processes: LocbaseWsInfo is not registered
   [ok]      LocbaseActive keeps the library from asking the service
6. Directories of X0000303
   [ok]      program directory <dir> exists
   [ok]      configuration directory <dir> exists
   [ok]      log directory <low>Korvan\Log\Mirel\ does not exist yet, the library would create it
   [ok]      data directory <data>Korvan\Daten\X0000303\Data\ does not exist yet, the library would create it
   [ok]      temp directory <temp> exists
Result: tracing and removal work as configured.
)",
              Rewritten(text.output, {{installation.dir.path(), "<dir>"}, {bits, ", <bits>,"}, {SystemProgram(""), "<system>"},
                                      {OtherSystemDirectory(), "<other system>"}, {KnownFolder(FOLDERID_LocalAppDataLow), "<low>"},
                                      {KnownFolder(FOLDERID_ProgramData), "<data>"}, {temp, "<temp>"}}));
}

TEST(Doctor, BadUsageExitsWithOneLine) {
    for (const char* arguments : {"--arch arm", "--module", "--json --bogus", "--host a --host b", "--arch x86 --arch x86"}) {
        const ProcessResult result = RunProcess(ProgramDirectory() + "TeskDoctor.exe", arguments);
        EXPECT_EQ(2u, result.exitCode) << arguments;
        EXPECT_EQ(0u, result.output.find("TeskDoctor: ")) << arguments << ": " << result.output;
        EXPECT_EQ(result.output.size() - 1, result.output.find('\n')) << arguments << ": " << result.output;
    }
}

std::string RandomBytes(std::mt19937& random, size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 7 == 0 ? 0 : random());
    return bytes;
}

// Random types and lengths up to 100,000 characters under every name the doctor reads.
TEST(Doctor, AnyRegistryContentGivesAReport) {
    const char* settings[] = {"LogVia_InternTrace", "LogVia_InternTraceDirectory", "LocbaseActive",
                              "LocbaseTracingDirsActive", "LocbaseTracingDirsDirectory", "LocbaseLibDirsActive",
                              "LocbaseLibDirsDirectory", "LocbaseLogDirX0000302", "ProgKey"};
    const char* traces[] = {"Enabled", "DefaultLevel", "Level.TESK.CoInstall", "File.TESK.CoInstall", "File.*",
                            "Level.TESK.CoInstall.Dump", "Console.TESK.CoInstall"};
    const DWORD types[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE, 0x4711};
    std::mt19937 random(20261207);
    for (int round = 0; round < 6; ++round) {
        Installation installation;
        const auto fill = [&](const char* key, const char* name) {
            const size_t size = round == 0 ? 100000 : random() % (round % 2 ? 8 : 300);
            const std::string bytes = round == 5 ? "ein" : RandomBytes(random, size);
            installation.registry.SetValue(key, name, types[random() % 8], bytes.data(), static_cast<DWORD>(bytes.size()));
        };
        for (const char* name : settings) fill(kSettingsKey, name);
        for (const char* name : traces) fill(kTraceKey, name);
        fill(kDeviceKey, "CoInstallers32");
        const ProcessResult result = installation.Run();
        EXPECT_GE(1u, result.exitCode) << round << result.output;
        EXPECT_EQ(0u, result.output.find("[\n")) << round;
        EXPECT_EQ(result.output.size() - 2, result.output.rfind("]\n")) << round;
    }
}

// Names, sizes and write times of everything below a directory.
std::string Listing(const std::string& directory) {
    std::string listing;
    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return listing;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        listing += directory + name + " " + std::to_string(entry.nFileSizeLow) + " " +
                   std::to_string(entry.ftLastWriteTime.dwLowDateTime) + "\n";
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) listing += Listing(directory + name + "\\");
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return listing;
}

std::string Snapshot(const std::string& directory) {
    const std::string exported = UniqueTempPath("registry.reg");
    RunProcess(SystemProgram("reg.exe"), "export HKLM\\SOFTWARE \"" + exported + "\" /y /reg:32");
    const std::string registry = ReadFileBytes(exported);
    EXPECT_LT(100000u, registry.size());
    ::DeleteFileA(exported.c_str());
    const std::string listing = Listing(directory) + Listing(KnownFolder(FOLDERID_LocalAppDataLow)) +
                                Listing(KnownFolder(FOLDERID_ProgramData));
    EXPECT_NE(std::string::npos, listing.find("TeskCoInstaller.dll")) << listing;
    return registry + listing;
}

// Every switch on with existing directories, the trace file not yet there, the service asked: nothing may appear.
TEST(Doctor, WritesNothing) {
    Installation installation;
    installation.AnswerService(std::string(kServiceKey) + "\\X0000303", "GetConfigPath", installation.dir.path() + "logs");
    for (const char* name : {"LogVia_InternTrace", "LocbaseTracingDirsActive", "LocbaseLibDirsActive"}) installation.registry.SetSetting(name, "ein");
    for (const char* name : {"LogVia_InternTraceDirectory", "LocbaseTracingDirsDirectory", "LocbaseLibDirsDirectory",
                             "LocbaseLogDirX0000302"})
        installation.registry.SetSetting(name, installation.dir.path() + "logs");
    // The data directory's parents exist, so a dry run that made just the last level would show.
    const std::string data = KnownFolder(FOLDERID_ProgramData) + "Korvan";
    for (const std::string& level : {data, data + "\\Daten", data + "\\Daten\\X0000303"}) ::CreateDirectoryA(level.c_str(), nullptr);
    const std::string before = Snapshot(installation.dir.path());
    const ProcessResult result = installation.Run();
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_NE(std::string::npos, result.output.find("\"key\": \"service.answer.X0000303.config\", \"kind\": \"ok\"")) << result.output;
    EXPECT_EQ(before, Snapshot(installation.dir.path()));
}

}  // namespace
