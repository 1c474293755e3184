#include "test_support/registry_fixture.h"

#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace test_support {

namespace {

constexpr REGSAM kAll32 = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

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

void SetAccessList(const std::string& keyPath, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    tesk::UniqueHkey key;
    EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, WRITE_DAC | KEY_WOW64_32KEY, key.put()));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor));
    ::LocalFree(descriptor);
}

}  // namespace

VendorRegistry::VendorRegistry() { RemoveAll(); }
VendorRegistry::~VendorRegistry() {
    for (const std::string& keyPath : denied_) SetAccessList(keyPath, "D:(A;;KA;;;WD)");
    RemoveAll();
}

// Only changing the access list again stays allowed, so that the fixture can remove the key.
void VendorRegistry::DenyReading(const std::string& keyPath) {
    SetAccessList(keyPath, "D:P(A;;WD;;;WD)");
    denied_.push_back(keyPath);
}

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

void VendorRegistry::SetDword(const std::string& keyPath, const std::string& name, DWORD value) {
    SetValue(keyPath, name, REG_DWORD, &value, sizeof value);
}

}  // namespace test_support
