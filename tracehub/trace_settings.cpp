#include "tracehub/trace_settings.h"

#include "tracehub/debug_note.h"
#include "contracts/KvTraceHub001.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace kvtrace {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool NeedNumber(const SettingValue& value, std::string_view name, std::string& problem) {
    if (value.number) return true;
    problem = "\"" + std::string(name) + "\" ignored: expected a number (REG_DWORD)";
    return false;
}

bool AddListenerEntry(CategorySettings& category, ListenerSettings wanted, std::string_view name,
                      std::string& problem) {
    if (category.FindListener(wanted.name)) {
        problem = "\"" + std::string(name) + "\" ignored: the category has this listener already";
        return false;
    }
    category.listeners.push_back(std::move(wanted));
    return true;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool LessNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(Lower(a[i]));
        const unsigned char y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::optional<std::string_view> CheckedCategory(const char* category) {
    if (!category) return std::nullopt;
    const size_t length = strnlen(category, kMaxCategoryLength + 1);
    if (length == 0 || length > kMaxCategoryLength) return std::nullopt;
    return std::string_view(category, length);
}

const ListenerSettings* CategorySettings::FindListener(std::string_view listenerName) const {
    for (const ListenerSettings& listener : listeners) {
        if (EqualsNoCase(listener.name, listenerName)) return &listener;
    }
    return nullptr;
}

const CategorySettings* TraceSettings::Find(std::string_view category) const {
    for (const CategorySettings& entry : categories) {
        if (EqualsNoCase(entry.name, category)) return &entry;
    }
    return nullptr;
}

int32_t TraceSettings::LevelOf(std::string_view category) const {
    const CategorySettings* entry = Find(category);
    return entry && entry->level ? *entry->level : defaultLevel;
}

std::vector<const ListenerSettings*> TraceSettings::ListenersOf(std::string_view category) const {
    std::vector<const ListenerSettings*> result;
    for (const CategorySettings* entry : {Find(category), Find(kAllCategories)}) {
        if (!entry) continue;
        for (const ListenerSettings& listener : entry->listeners) result.push_back(&listener);
    }
    return result;
}

CategorySettings& TraceSettings::Get(std::string_view category) {
    for (CategorySettings& entry : categories) {
        if (EqualsNoCase(entry.name, category)) return entry;
    }
    categories.push_back(CategorySettings{std::string(category), std::nullopt, {}});
    return categories.back();
}

bool TraceSettings::Remove(std::string_view category) {
    const auto it = std::find_if(categories.begin(), categories.end(),
                                 [&](const CategorySettings& entry) { return EqualsNoCase(entry.name, category); });
    if (it == categories.end()) return false;
    categories.erase(it);
    return true;
}

std::optional<int32_t> ParseNumber(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

bool ApplySetting(TraceSettings& settings, std::string_view name, const SettingValue& value, std::string& problem) {
    if (EqualsNoCase(name, "Enabled")) {
        if (!NeedNumber(value, name, problem)) return false;
        settings.enabled = *value.number != 0;
        return true;
    }
    if (EqualsNoCase(name, "DefaultLevel")) {
        if (!NeedNumber(value, name, problem)) return false;
        settings.defaultLevel = *value.number;
        return true;
    }
    static constexpr std::string_view kPrefixes[] = {"Level.", "File.", "Console.", "Debugger."};
    for (std::string_view prefix : kPrefixes) {
        if (!StartsWithNoCase(name, prefix)) continue;
        const std::string_view category = name.substr(prefix.size());
        if (category.empty() || category.size() > kMaxCategoryLength) {
            problem = "\"" + std::string(name) + "\" ignored: the category must have 1 to 127 characters";
            return false;
        }
        if (prefix == "Level.") {
            if (!NeedNumber(value, name, problem)) return false;
            settings.Get(category).level = *value.number;
            return true;
        }
        if (prefix == "File.") {
            const std::string path = value.text ? std::string(Trim(*value.text)) : std::string();
            if (path.empty() || path.size() >= MAX_PATH) {
                problem = "\"" + std::string(name) + "\" ignored: expected a file path (REG_SZ or REG_EXPAND_SZ)";
                return false;
            }
            CategorySettings& entry = settings.Get(category);
            return AddListenerEntry(entry, ListenerSettings{path, KvTraceListenerTextfile, path}, name, problem);
        }
        if (!NeedNumber(value, name, problem)) return false;
        if (*value.number == 0) return true;
        const bool console = prefix == "Console.";
        CategorySettings& entry = settings.Get(category);
        return AddListenerEntry(
            entry,
            ListenerSettings{
                console ? "Console" : "Debugger", console ? KvTraceListenerConsole : KvTraceListenerDebugger, {}},
            name, problem);
    }
    problem = "\"" + std::string(name) + "\" ignored: unknown setting";
    return false;
}

bool ParseSettingsText(std::string_view text, TraceSettings& settings) {
    bool allGood = true;
    while (!text.empty()) {
        const size_t end = text.find(';');
        const std::string_view item = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (item.empty()) continue;
        const size_t equals = item.find('=');
        std::string problem;
        if (equals == std::string_view::npos) {
            problem = "setting \"" + std::string(item) + "\" ignored: expected Name=Value";
        } else {
            const std::string_view name = Trim(item.substr(0, equals));
            const std::string_view raw = Trim(item.substr(equals + 1));
            const SettingValue value{ParseNumber(raw), std::string(raw)};
            if (ApplySetting(settings, name, value, problem)) continue;
            problem = "setting " + problem;
        }
        DebugNote(problem);
        allGood = false;
    }
    return allGood;
}

}  // namespace kvtrace
