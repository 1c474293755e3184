#include "tracehub/append_lock.h"

#include "tracehub/debug_note.h"

#include <windows.h>
#include <sddl.h>

#include <cstdint>
#include <cstdio>

namespace kvtrace {

namespace {

constexpr DWORD kStealAfterMs = 1000;

// Named after a hash of the case-folded full path, so that every process finds the same word.
std::string SectionName(const char* scope, const std::string& fullPath) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : fullPath) {
        hash ^= static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
        hash *= 1099511628211ull;
    }
    char name[64];
    snprintf(name, sizeof(name), "%s\\KvTraceHub001.%016llx", scope, static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

AppendLock::AppendLock(const std::string& fullPath) {
    // Writers of every account and session share the file, so they must be able to map the word.
    tesk::UniqueHlocal descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;WD)",
                                                               SDDL_REVISION_1, &raw, nullptr)) {
        descriptor.reset(raw);
        attributes.lpSecurityDescriptor = raw;
    }
    // Another process may have created the section already; its descriptor grants others only
    // mapping, which is all that opening asks for. Creating in the global namespace needs a
    // privilege that ordinary users lack, so the session's namespace is the fallback.
    for (const char* scope : {"Global", "Local"}) {
        const std::string name = SectionName(scope, fullPath);
        section_.reset(::OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
        if (!section_) {
            section_.reset(
                ::CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(LONG), name.c_str()));
        }
        if (!section_) section_.reset(::OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
        if (section_) break;
    }
    if (section_) {
        word_ = static_cast<volatile LONG*>(
            ::MapViewOfFile(section_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    }
    if (!word_) {
        DebugNote("no lock shared with other processes for \"" + fullPath + "\", error " +
                  std::to_string(::GetLastError()));
    }
}

AppendLock::~AppendLock() {
    if (word_) ::UnmapViewOfFile(const_cast<LONG*>(word_));
}

bool AppendLock::Acquire() {
    if (!word_) return false;
    const LONG self = static_cast<LONG>(::GetCurrentProcessId());
    bool waiting = false;
    DWORD waitStart = 0;
    for (unsigned attempt = 0;; ++attempt) {
        const LONG owner = ::InterlockedCompareExchange(word_, self, 0);
        if (owner == 0) return true;
        if (attempt < 64) {
            YieldProcessor();
            continue;
        }
        if (!waiting) {
            waiting = true;
            waitStart = ::GetTickCount();
        } else if (::GetTickCount() - waitStart >= kStealAfterMs) {
            if (::InterlockedCompareExchange(word_, self, owner) == owner) return true;
            waiting = false;
        }
        ::Sleep(attempt < 256 ? 0 : 1);
    }
}

void AppendLock::Release() { ::InterlockedCompareExchange(word_, 0, static_cast<LONG>(::GetCurrentProcessId())); }

}  // namespace kvtrace
