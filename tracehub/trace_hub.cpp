#include "tracehub/trace_hub.h"

#include "tracehub/debug_note.h"
#include "tracehub/exclusive_lock.h"
#include "contracts/KvTraceHub001.h"
#include "tracehub/line_format.h"
#include "tracehub/registry_settings.h"

#include <algorithm>
#include <string>

namespace kvtrace {

namespace {

// How long Done waits for writers that are still inside before it gives up freeing their data.
constexpr DWORD kDrainTimeoutMs = 5000;
constexpr size_t kMaxListenerNameLength = MAX_PATH;

bool EmitAll(const std::vector<Sink*>& sinks, const char* data, size_t size) {
    // Tracing must not change the error code its caller is about to report.
    const DWORD lastError = ::GetLastError();
    bool written = false;
    for (Sink* sink : sinks) written = sink->Emit(data, size) || written;
    ::SetLastError(lastError);
    return written;
}

std::optional<std::string_view> CheckedListenerName(const char* name) {
    if (!name) return std::nullopt;
    const size_t length = strnlen(name, kMaxListenerNameLength + 1);
    if (length == 0 || length > kMaxListenerNameLength) return std::nullopt;
    return std::string_view(name, length);
}

bool Fail(DWORD error) {
    ::SetLastError(error);
    return false;
}

}  // namespace

// Counts the threads that may hold a snapshot pointer. Entering is ordered before the snapshot is
// loaded, so a publisher that then sees zero knows no thread holds a replaced snapshot.
class TraceHub::ReadGuard {
public:
    explicit ReadGuard(std::atomic<long>& readers) : readers_(readers) { readers_.fetch_add(1); }
    ~ReadGuard() { readers_.fetch_sub(1); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    std::atomic<long>& readers_;
};

bool TraceHub::Init() {
    ExclusiveLock lock(lock_);
    if (open_) return true;
    TraceSettings next;
    ReadRegistrySettings(next);
    open_ = true;
    PublishLocked(std::move(next));
    return true;
}

void TraceHub::Done() {
    ExclusiveLock lock(lock_);
    if (!open_) return;
    open_ = false;
    summary_.store(kTracesNothing);
    current_.store(nullptr);

    const DWORD start = ::GetTickCount();
    while (readers_.load() != 0 && ::GetTickCount() - start < kDrainTimeoutMs) ::Sleep(1);
    if (readers_.load() == 0) {
        for (const auto& sink : snapshots_.back()->sinks()) sink->Flush();
        snapshots_.clear();
    } else {
        // A writer that never returns (a suspended or killed thread) may still hold these.
        DebugNote("writers still active at shutdown; their configuration stays allocated");
        for (auto& snapshot : snapshots_) snapshot.release();
        snapshots_.clear();
    }
    settings_ = TraceSettings{};
    pool_.Clear();
}

bool TraceHub::Configure(const char* settings) {
    bool allGood = true;
    const bool changed = Change([&](TraceSettings& next) {
        next = TraceSettings{};
        allGood = settings ? ParseSettingsText(settings, next) : ReadRegistrySettings(next);
        return true;
    });
    return changed && allGood;
}

template <typename Edit>
bool TraceHub::Change(Edit edit) {
    ExclusiveLock lock(lock_);
    if (!open_) return Fail(ERROR_NOT_READY);
    TraceSettings next = settings_;
    if (!edit(next)) return false;
    return PublishLocked(std::move(next));
}

bool TraceHub::PublishLocked(TraceSettings next) {
    bool allGood = true;
    std::unique_ptr<Snapshot> snapshot = Snapshot::Build(next, pool_, allGood);
    const Snapshot* published = snapshot.get();
    snapshots_.push_back(std::move(snapshot));
    settings_ = std::move(next);
    pool_.Retain(published->sinks());
    current_.store(published);
    summary_.store(published->Summary());
    ReclaimIfQuiet();
    return allGood;
}

void TraceHub::ReclaimIfQuiet() {
    if (snapshots_.size() > 1 && readers_.load() == 0) snapshots_.erase(snapshots_.begin(), snapshots_.end() - 1);
}

bool TraceHub::ShouldTraceCategory(int32_t level, const char* category) const {
    const auto name = CheckedCategory(category);
    if (!name || !ShouldTrace(level)) return false;
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    return snapshot && snapshot->enabled() && snapshot->Find(*name).Traces(level);
}

bool TraceHub::Write(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine,
                     const char* function, const char* text) const {
    if (!ShouldTrace(level) || !text) return false;
    const auto name = CheckedCategory(category);
    if (!name) return false;
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    if (!snapshot || !snapshot->enabled()) return false;
    const Route& route = snapshot->Find(*name);
    if (!route.Traces(level)) return false;
    const std::string origin =
        (sourceFile || function) ? FormatOrigin(sourceFile, sourceLine, function) : std::string();
    char line[kLineCapacity];
    const size_t size = FormatLine(line, StampNow(level), *name, origin, text);
    return EmitAll(route.sinks, line, size);
}

bool TraceHub::Dump(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine, const char* title,
                    const char* name, const void* data, uint32_t size) const {
    if (!ShouldTrace(level) || (!data && size != 0)) return false;
    const auto checked = CheckedCategory(category);
    if (!checked) return false;
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    if (!snapshot || !snapshot->enabled()) return false;
    const Route& route = snapshot->Find(*checked);
    if (!route.Traces(level)) return false;
    const std::string origin = FormatOrigin(sourceFile, sourceLine, nullptr);
    const std::string block = FormatDump(StampNow(level), *checked, origin, title, name, data, size);
    return EmitAll(route.sinks, block.c_str(), block.size());
}

bool TraceHub::IsEnabled() const {
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    return snapshot && snapshot->enabled();
}

void TraceHub::SetEnabled(bool enabled) {
    Change([&](TraceSettings& next) {
        next.enabled = enabled;
        return true;
    });
}

int32_t TraceHub::GetAppLevel() const {
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    return snapshot ? snapshot->defaultLevel() : 0;
}

void TraceHub::SetAppLevel(int32_t level) {
    Change([&](TraceSettings& next) {
        next.defaultLevel = level;
        return true;
    });
}

int32_t TraceHub::GetLevel(const char* category) const {
    const auto name = CheckedCategory(category);
    if (!name) return 0;
    ReadGuard guard(readers_);
    const Snapshot* snapshot = current_.load();
    return snapshot ? snapshot->Find(*name).level : 0;
}

bool TraceHub::SetLevel(const char* category, int32_t level) {
    const auto name = CheckedCategory(category);
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    return Change([&](TraceSettings& next) {
        next.Get(*name).level = level;
        return true;
    });
}

bool TraceHub::ListenerExists(const char* category, const char* listenerName) {
    const auto name = CheckedCategory(category);
    const auto listener = CheckedListenerName(listenerName);
    if (!name || !listener) return false;
    ExclusiveLock lock(lock_);
    const CategorySettings* entry = settings_.Find(*name);
    return open_ && entry && entry->FindListener(*listener);
}

bool TraceHub::AddListener(const char* category, const char* listenerName, int32_t kind, const char* target) {
    const auto name = CheckedCategory(category);
    const auto listener = CheckedListenerName(listenerName);
    if (!name || !listener) return Fail(ERROR_INVALID_PARAMETER);
    if (kind != KvTraceListenerDebugger && kind != KvTraceListenerConsole && kind != KvTraceListenerTextfile) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    ListenerSettings wanted{std::string(*listener), kind, {}};
    if (kind == KvTraceListenerTextfile) {
        const auto path = CheckedListenerName(target);
        if (!path) return Fail(ERROR_INVALID_PARAMETER);
        wanted.target = std::string(*path);
    }
    return Change([&](TraceSettings& next) {
        CategorySettings& entry = next.Get(*name);
        if (entry.FindListener(wanted.name)) return Fail(ERROR_ALREADY_EXISTS);
        // Opened here, so that a file that cannot be opened fails the call with its own error.
        if (!pool_.Acquire(wanted)) return false;
        entry.listeners.push_back(wanted);
        return true;
    });
}

bool TraceHub::RemoveListenerCategory(const char* category, const char* listenerName) {
    const auto name = CheckedCategory(category);
    const auto listener = CheckedListenerName(listenerName);
    if (!name || !listener) return Fail(ERROR_INVALID_PARAMETER);
    return Change([&](TraceSettings& next) {
        for (CategorySettings& entry : next.categories) {
            if (!EqualsNoCase(entry.name, *name)) continue;
            const auto it =
                std::find_if(entry.listeners.begin(), entry.listeners.end(),
                             [&](const ListenerSettings& existing) { return EqualsNoCase(existing.name, *listener); });
            if (it == entry.listeners.end()) break;
            entry.listeners.erase(it);
            return true;
        }
        return Fail(ERROR_NOT_FOUND);
    });
}

bool TraceHub::RemoveListener(const char* listenerName) {
    const auto listener = CheckedListenerName(listenerName);
    if (!listener) return Fail(ERROR_INVALID_PARAMETER);
    return Change([&](TraceSettings& next) {
        bool removed = false;
        for (CategorySettings& entry : next.categories) {
            const auto it = std::remove_if(
                entry.listeners.begin(), entry.listeners.end(),
                [&](const ListenerSettings& existing) { return EqualsNoCase(existing.name, *listener); });
            removed = removed || it != entry.listeners.end();
            entry.listeners.erase(it, entry.listeners.end());
        }
        return removed || Fail(ERROR_NOT_FOUND);
    });
}

bool TraceHub::RemoveCategory(const char* category) {
    const auto name = CheckedCategory(category);
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    return Change([&](TraceSettings& next) { return next.Remove(*name) || Fail(ERROR_NOT_FOUND); });
}

void TraceHub::RemoveAllCategories() {
    Change([&](TraceSettings& next) {
        next.categories.clear();
        return true;
    });
}

}  // namespace kvtrace
