#include "trace/trace_system_binding.h"

#include "trace/text_conversion.h"
#include "trace/trace_system_search.h"

#include <cstring>
#include <string>

namespace {

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) noexcept : section_(section) {
        ::EnterCriticalSection(&section_);
    }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

bool IsNullOrEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }
bool IsNullOrEmpty(const wchar_t* text) { return text == nullptr || text[0] == L'\0'; }

}  // namespace

TraceSystemBinding g_traceSystemBinding;

TraceSystemBinding::TraceSystemBinding() noexcept { ::InitializeCriticalSection(&lock_); }

// The library is neither shut down nor unloaded: other modules of the process may still use it.
TraceSystemBinding::~TraceSystemBinding() { ::DeleteCriticalSection(&lock_); }

bool TraceSystemBinding::Load() {
    CriticalSectionLock guard(lock_);
    if (module_ != nullptr) return true;
    if (loadAttempted_) return false;

    // Marked before the search: the search reports through trace calls on this thread, which
    // re-enter here and must be dropped instead of recursing.
    loadAttempted_ = true;

    bool bound = false;
    try {
        const std::string path = _ResolveTraceSystemPath();
        if (!path.empty()) module_ = ::LoadLibraryA(path.c_str());
        bound = module_ != nullptr && BindExports();
    } catch (...) {
        bound = false;
    }
    if (bound) {
        published_.store(&entryPoints_, std::memory_order_release);
    } else {
        // A library without every export is never called; it stays mapped.
        module_ = nullptr;
        entryPoints_ = TraceEntryPoints{};
        failed_.store(true, std::memory_order_release);
    }
    return bound;
}

bool TraceSystemBinding::BindExports() {
    TraceEntryPoints table{};
    unsigned char* slots = reinterpret_cast<unsigned char*>(&table);
    for (std::size_t i = 0; i < sizeof(kTraceEntryPointNames) / sizeof(kTraceEntryPointNames[0]); ++i) {
        FARPROC entry = ::GetProcAddress(module_, kTraceEntryPointNames[i]);
        if (entry == nullptr) return false;
        std::memcpy(slots + i * sizeof(entry), &entry, sizeof(entry));
    }
    const auto init = reinterpret_cast<KvTrace_InitTraceSystem>(
        reinterpret_cast<void*>(::GetProcAddress(module_, kInitTraceSystemName)));
    if (init == nullptr) return false;
    entryPoints_ = table;
    init();
    return true;
}

const TraceEntryPoints* TraceSystemBinding::EntryPoints() {
    const TraceEntryPoints* table = published_.load(std::memory_order_acquire);
    if (table != nullptr) return table;
    if (failed_.load(std::memory_order_acquire)) return nullptr;
    if (!Load()) return nullptr;
    return published_.load(std::memory_order_acquire);
}

bool TraceSystemBinding::ShouldTraceUnbound(int32_t level) {
    const TraceEntryPoints* table = EntryPoints();
    return table != nullptr && table->ShouldTrace(level);
}

bool TraceSystemBinding::ShouldTraceCategory(int32_t level, const char* category) {
    if (IsNullOrEmpty(category)) return false;
    const TraceEntryPoints* table = EntryPoints();
    return table != nullptr && table->ShouldTraceCategory(level, category);
}

bool TraceSystemBinding::ShouldTraceCategory(int32_t level, const wchar_t* category) {
    if (IsNullOrEmpty(category)) return false;
    char narrowCategory[kCategoryCapacity];
    ConvertToNarrow(category, narrowCategory, sizeof narrowCategory);
    if (narrowCategory[0] == '\0') return false;
    const TraceEntryPoints* table = EntryPoints();
    return table != nullptr && table->ShouldTraceCategory(level, narrowCategory);
}

int32_t TraceSystemBinding::GetLevel(const wchar_t* category) {
    constexpr int32_t kUnreachableLevel = 1;
    if (IsNullOrEmpty(category)) return kUnreachableLevel;
    char narrowCategory[kCategoryCapacity];
    ConvertToNarrow(category, narrowCategory, sizeof narrowCategory);
    if (narrowCategory[0] == '\0') return kUnreachableLevel;
    const TraceEntryPoints* table = EntryPoints();
    return table != nullptr ? table->GetLevel(narrowCategory) : kUnreachableLevel;
}

void TraceSystemBinding::Write(int32_t level, const char* category, const char* text) {
    if (IsNullOrEmpty(category) || text == nullptr) return;
    if (const TraceEntryPoints* table = EntryPoints()) table->Write(level, category, text);
}

void TraceSystemBinding::Write(int32_t level, const wchar_t* category, const wchar_t* text) {
    if (IsNullOrEmpty(category) || text == nullptr) return;
    char narrowCategory[kCategoryCapacity];
    ConvertToNarrow(category, narrowCategory, sizeof narrowCategory);
    if (narrowCategory[0] == '\0') return;
    char narrowText[kTextCapacity];
    ConvertToNarrow(text, narrowText, sizeof narrowText);
    if (const TraceEntryPoints* table = EntryPoints()) table->Write(level, narrowCategory, narrowText);
}

void TraceSystemBinding::Dump(int32_t level, const wchar_t* category, const wchar_t* title,
                              const wchar_t* name, const void* data, uint32_t size) {
    if (IsNullOrEmpty(category) || title == nullptr || name == nullptr || data == nullptr) return;
    char narrowCategory[kCategoryCapacity];
    ConvertToNarrow(category, narrowCategory, sizeof narrowCategory);
    if (narrowCategory[0] == '\0') return;
    char narrowTitle[kTextCapacity];
    ConvertToNarrow(title, narrowTitle, sizeof narrowTitle);
    char narrowName[kCategoryCapacity];
    ConvertToNarrow(name, narrowName, sizeof narrowName);
    if (const TraceEntryPoints* table = EntryPoints()) {
        table->Dump(level, narrowCategory, narrowTitle, narrowName, data, size);
    }
}
