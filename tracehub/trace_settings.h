// The configuration model: what the registry or a settings text describes and what the setter
// exports change. It is plain data, copied and edited under the hub's lock, never read by writers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvtrace {

constexpr size_t kMaxCategoryLength = 127;
constexpr int32_t kDefaultLevel = 2;
// Listeners of this category receive the lines of every category.
constexpr std::string_view kAllCategories = "*";

bool EqualsNoCase(std::string_view a, std::string_view b);
bool LessNoCase(std::string_view a, std::string_view b);
// A category is usable when it is non-null, non-empty and at most 127 characters long.
std::optional<std::string_view> CheckedCategory(const char* category);

struct ListenerSettings {
    std::string name;
    int32_t kind = 0;
    std::string target;
};

struct CategorySettings {
    std::string name;
    std::optional<int32_t> level;
    std::vector<ListenerSettings> listeners;

    const ListenerSettings* FindListener(std::string_view listenerName) const;
};

struct TraceSettings {
    bool enabled = true;
    int32_t defaultLevel = kDefaultLevel;
    std::vector<CategorySettings> categories;

    const CategorySettings* Find(std::string_view category) const;
    // The level a category writes at: its own, else the default level.
    int32_t LevelOf(std::string_view category) const;
    // Who receives a category's lines: its own listeners and those of all categories.
    std::vector<const ListenerSettings*> ListenersOf(std::string_view category) const;
    CategorySettings& Get(std::string_view category);
    bool Remove(std::string_view category);
};

// A setting's value as it arrived: a registry DWORD is a number only, a registry string is a text
// only, a settings text is a text that is also a number when it reads as one.
struct SettingValue {
    std::optional<int32_t> number;
    std::optional<std::string> text;
};

std::optional<int32_t> ParseNumber(std::string_view text);

// Applies one named setting; on failure leaves the settings unchanged and says why in problem.
bool ApplySetting(TraceSettings& settings, std::string_view name, const SettingValue& value, std::string& problem);

// Parses "Name=Value;Name=Value" into fresh settings; bad items are noted and skipped.
bool ParseSettingsText(std::string_view text, TraceSettings& settings);

}  // namespace kvtrace
