#include "test_support.h"

#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dirlib_test {

namespace {

constexpr REGSAM kAll32 = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

std::string ExeDirectory() {
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

}  // namespace

ScratchDir::ScratchDir(const std::string& name) {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "tesk_dirlib_" + name + "_" + std::to_string(::GetCurrentProcessId()) + "\\";
    RemoveTree(path_);
    EXPECT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr)) << path_;
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    WIN32_FIND_DATAA found = {};
    HANDLE search = ::FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(dir.c_str());
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void WriteFileText(const std::string& path, const std::string& text) {
    tesk::UniqueHfile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.valid()) << path;
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string ReadFileBytes(const std::string& path) {
    tesk::UniqueHfile file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

VendorRegistry::VendorRegistry() { RemoveAll(); }
VendorRegistry::~VendorRegistry() { RemoveAll(); }

void VendorRegistry::RemoveAll() {
    for (const char* path : {kSettingsKey, kVendorKey}) {
        tesk::UniqueHkey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, kAll32, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteTreeA(key.get(), nullptr);
            key.reset();
            ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY, 0);
        }
    }
}

namespace {

// Created one level at a time: Wine refuses an absolute narrow key path much beyond 259 characters,
// while a single level may hold the full 255.
tesk::UniqueHkey CreateKeyChain(const std::string& keyPath) {
    tesk::UniqueHkey key;
    HKEY parent = HKEY_LOCAL_MACHINE;
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string::npos) end = keyPath.size();
        const std::string level = keyPath.substr(start, end - start);
        tesk::UniqueHkey child;
        const LONG rc = ::RegCreateKeyExA(parent, level.c_str(), 0, nullptr, 0, kAll32, nullptr, child.put(), nullptr);
        EXPECT_EQ(ERROR_SUCCESS, rc) << keyPath << " at " << level;
        if (rc != ERROR_SUCCESS) return tesk::UniqueHkey();
        key = std::move(child);
        parent = key.get();
        start = end + 1;
    }
    return key;
}

}  // namespace

void VendorRegistry::CreateKey(const std::string& keyPath) { CreateKeyChain(keyPath); }

void VendorRegistry::SetValue(const std::string& keyPath, const std::string& name, DWORD type, const void* data,
                              DWORD size) {
    tesk::UniqueHkey key = CreateKeyChain(keyPath);
    ASSERT_TRUE(key.valid());
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.get(), name.empty() ? nullptr : name.c_str(), 0, type,
                                              static_cast<const BYTE*>(data), size))
        << keyPath << " " << name;
}

void VendorRegistry::SetString(const std::string& keyPath, const std::string& name, const std::string& text) {
    SetValue(keyPath, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

std::string HostDirectory() { return ExeDirectory() + "..\\dirlib_host\\"; }

HostResult RunHost(const std::string& arguments, const std::string& exeName) {
    return RunProcess(HostDirectory() + exeName, arguments);
}

HostResult RunProcess(const std::string& exe, const std::string& arguments) {
    HostResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed: " << ::GetLastError();
        return result;
    }
    tesk::UniqueHandle readEnd(readRaw);
    tesk::UniqueHandle writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + exe + "\" " + arguments;
    // Handles are inherited: the pipe's write end, and whatever inheritable handle a test names.
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        ADD_FAILURE() << "CreateProcess " << exe << " failed: " << ::GetLastError();
        return result;
    }
    tesk::UniqueHandle processHandle(process.hProcess);
    tesk::UniqueHandle threadHandle(process.hThread);
    writeEnd.reset();

    // The end of the pipe cannot tell when the host is done: a process the host starts in passing
    // (Wine's desktop, on the first COM or window use) may inherit the write end and keep it open.
    // So the host's exit ends the reading, after what it wrote has been drained.
    char chunk[4096];
    for (;;) {
        const bool exited = ::WaitForSingleObject(processHandle.get(), 20) == WAIT_OBJECT_0;
        DWORD available = 0;
        while (::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD got = 0;
            if (!::ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) || got == 0) break;
            result.output.append(chunk, got);
        }
        if (exited) break;
    }
    ::GetExitCodeProcess(processHandle.get(), &result.exitCode);
    return result;
}

}  // namespace dirlib_test
