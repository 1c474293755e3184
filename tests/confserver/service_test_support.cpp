#include "service_test_support.h"

#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace confsvc_test {

namespace {

constexpr const char* kClassIds[] = {
    "{75E51E15-A4D0-4028-8FD3-D3543A34493B}",
    "{612B539A-9455-4D4A-959C-1B9AC504B611}",
    "{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}",
};

DWORD RunRegsvr32(const std::string& arguments) {
    char system[MAX_PATH + 1] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    const HostResult result = dirlib_test::RunProcess(std::string(system) + "\\regsvr32.exe", arguments);
    return result.exitCode;
}

}  // namespace

std::string TestDirectory() {
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

HostResult RunServiceHost(const std::string& arguments) {
    return dirlib_test::RunProcess(TestDirectory() + "..\\confsvc_host\\confsvc_host.exe", arguments);
}

std::vector<std::string> LinesStartingWith(const std::string& output, const std::vector<std::string>& prefixes) {
    std::vector<std::string> lines;
    for (const std::string& line : dirlib_test::SplitLines(output)) {
        for (const std::string& prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
                break;
            }
        }
    }
    return lines;
}

std::vector<std::string> LookupLines(const std::string& output) {
    return LinesStartingWith(output, {"I _", "E _", "I LBS_", "E LBS_", "RESULT", "BEFORE", "PROBE"});
}

void RemoveServerClasses() {
    for (const char* clsid : kClassIds) {
        const std::string path = std::string("CLSID\\") + clsid;
        tesk::UniqueHkey key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteTreeA(key.get(), nullptr);
            key.reset();
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
        }
    }
}

RegisteredServer::RegisteredServer() : registerExitCode_(RunRegsvr32("/s \"" + TestDirectory() + kServerDll + "\"")) {}

RegisteredServer::~RegisteredServer() {
    RunRegsvr32("/u /s \"" + TestDirectory() + kServerDll + "\"");
    RemoveServerClasses();
}

std::string SystemText(HRESULT hr) {
    wchar_t* message = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    tesk::UniqueHlocal owner(message);
    std::wstring text = message != nullptr ? message : L"";
    if (text.size() > 1 && text.back() == L'\n') {
        text.pop_back();
        if (!text.empty() && text.back() == L'\r') text.pop_back();
    }
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x100 ? static_cast<char>(c) : '?';
    return narrow;
}

std::string ExpectedComText(HRESULT hr) {
    const std::string system = SystemText(hr);
    if (!system.empty()) return system;
    const unsigned long code = static_cast<unsigned long>(hr);
    char text[40];
    if (code >= 0x80040201ul && code <= 0x8004FFFFul) {
        std::snprintf(text, sizeof text, "IDispatch error #%lu", code - 0x80040200ul);
    } else {
        std::snprintf(text, sizeof text, "Unknown error 0x%lX", code);
    }
    return text;
}

std::string ComErrorLine(const std::string& prefix, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
    return "E " + prefix + " <" + code + ">, <" + ExpectedComText(hr) + ">";
}

}  // namespace confsvc_test
