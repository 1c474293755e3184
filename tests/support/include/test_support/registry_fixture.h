// The vendor's registry trees in the 32-bit view, owned by one test: the library's settings
// ("SOFTWARE\Korvan Mirel Compact") and the component keys ("SOFTWARE\KorvanCo") are removed when
// the fixture is made and again when it goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Korvan Mirel Compact";
inline constexpr char kVendorKey[] = "SOFTWARE\\KorvanCo";

class VendorRegistry {
public:
    VendorRegistry();
    ~VendorRegistry();
    VendorRegistry(const VendorRegistry&) = delete;
    VendorRegistry& operator=(const VendorRegistry&) = delete;

    // Paths are below HKEY_LOCAL_MACHINE; missing levels are created.
    void CreateKey(const std::string& keyPath);
    void SetValue(const std::string& keyPath, const std::string& name, DWORD type, const void* data, DWORD size);
    // A REG_SZ with its terminator.
    void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
    void SetDword(const std::string& keyPath, const std::string& name, DWORD value);
    void SetSetting(const std::string& name, const std::string& text) { SetString(kSettingsKey, name, text); }

    // Until the fixture goes, the key's access list lets nobody read it.
    void DenyReading(const std::string& keyPath);

private:
    static void RemoveAll();
    std::vector<std::string> denied_;
};

}  // namespace test_support
