// The shipped files in dist/: both architectures export the 23 names undecorated, import only
// system libraries and carry the version resource.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char* const kExportNames[] = {"Write",
                                    "WriteEntry",
                                    "Dump",
                                    "DumpEntry",
                                    "ConfigureTrace",
                                    "IsTracingEnabled",
                                    "SetTracingEnabled",
                                    "SetAppTracingLevel",
                                    "GetAppTracingLevel",
                                    "ShouldTrace",
                                    "ShouldTraceCategory",
                                    "SetLevel",
                                    "GetLevel",
                                    "ListenerExists",
                                    "AddListener",
                                    "AddConsoleListener",
                                    "AddTextfileListener",
                                    "RemoveListenerCategory",
                                    "RemoveListener",
                                    "RemoveCategory",
                                    "RemoveAllCategories",
                                    "DoneTraceSystem",
                                    "InitTraceSystem"};

// A PE image read from disk, with just enough parsing to list exports and imports.
class PeFile {
public:
    explicit PeFile(const std::string& path) : bytes_(hubtest::ReadFile(path)) {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER)) return;
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        ntOffset_ = static_cast<size_t>(dos->e_lfanew);
        const auto* nt = At<IMAGE_NT_HEADERS32>(ntOffset_);
        if (!nt || nt->Signature != IMAGE_NT_SIGNATURE) return;
        machine_ = nt->FileHeader.Machine;
        const size_t sections =
            ntOffset_ + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto* section = At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (section) sections_.push_back(*section);
        }
        valid_ = true;
    }

    bool valid() const { return valid_; }
    WORD machine() const { return machine_; }

    std::vector<std::string> Exports() const {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY dir = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
        const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(Offset(dir.VirtualAddress));
        if (!dir.VirtualAddress || !exports) return names;
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            const auto* nameRva = At<DWORD>(Offset(exports->AddressOfNames) + i * sizeof(DWORD));
            if (nameRva) names.push_back(String(*nameRva));
        }
        return names;
    }

    std::vector<std::string> Imports() const {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        if (!dir.VirtualAddress) return names;
        for (size_t offset = Offset(dir.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (!descriptor || descriptor->Name == 0) break;
            names.push_back(String(descriptor->Name));
        }
        return names;
    }

private:
    template <typename T>
    const T* At(size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    IMAGE_DATA_DIRECTORY Directory(int index) const {
        if (machine_ == IMAGE_FILE_MACHINE_AMD64) {
            return At<IMAGE_NT_HEADERS64>(ntOffset_)->OptionalHeader.DataDirectory[index];
        }
        return At<IMAGE_NT_HEADERS32>(ntOffset_)->OptionalHeader.DataDirectory[index];
    }

    size_t Offset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : sections_) {
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                return rva - section.VirtualAddress + section.PointerToRawData;
            }
        }
        return kNowhere;
    }

    std::string String(DWORD rva) const {
        const size_t offset = Offset(rva);
        if (offset >= bytes_.size()) return {};
        return std::string(bytes_.c_str() + offset, strnlen(bytes_.c_str() + offset, bytes_.size() - offset));
    }

    static constexpr size_t kNowhere = static_cast<size_t>(-1);

    std::string bytes_;
    size_t ntOffset_ = 0;
    WORD machine_ = 0;
    bool valid_ = false;
    std::vector<IMAGE_SECTION_HEADER> sections_;
};

std::string DistFile(const char* arch) { return std::string(TRACEHUB_DIST_DIR) + "/" + arch + "/KvTraceHub001.dll"; }

struct ShippedArch {
    const char* dir;
    WORD machine;
};

class ShippedLibrary : public ::testing::TestWithParam<ShippedArch> {};

TEST_P(ShippedLibrary, ExportsExactlyThe23NamesUndecorated) {
    const PeFile pe(DistFile(GetParam().dir));
    ASSERT_TRUE(pe.valid()) << DistFile(GetParam().dir);
    EXPECT_EQ(GetParam().machine, pe.machine());
    std::vector<std::string> exports = pe.Exports();
    std::vector<std::string> expected(std::begin(kExportNames), std::end(kExportNames));
    std::sort(exports.begin(), exports.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, exports);
}

TEST_P(ShippedLibrary, ImportsOnlyWindowsSystemLibraries) {
    const PeFile pe(DistFile(GetParam().dir));
    ASSERT_TRUE(pe.valid());
    const std::set<std::string> system = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"};
    const std::vector<std::string> imports = pe.Imports();
    ASSERT_FALSE(imports.empty());
    for (std::string name : imports) {
        std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(tolower(c)); });
        EXPECT_TRUE(system.count(name)) << name;
    }
}

TEST_P(ShippedLibrary, CarriesTheVendorVersionResource) {
    const std::string path = DistFile(GetParam().dir);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_NE(0u, size) << ::GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    // The string table is found through the resource's own language and code page.
    WORD* translation = nullptr;
    UINT translationLength = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &translationLength));
    ASSERT_GE(translationLength, 4u);
    char block[32];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
    const auto value = [&](const char* name) {
        char* text = nullptr;
        UINT length = 0;
        const std::string query = block + std::string(name);
        if (!::VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
            return std::string();
        return std::string(text);
    };
    EXPECT_EQ("Korvan", value("CompanyName"));
    EXPECT_EQ("KvTraceHub001.dll", value("OriginalFilename"));
    EXPECT_FALSE(value("FileDescription").empty());
    EXPECT_EQ("1.0.0.0", value("FileVersion"));
    EXPECT_EQ("1.0.0.0", value("ProductVersion"));
}

INSTANTIATE_TEST_SUITE_P(Dist, ShippedLibrary,
                         ::testing::Values(ShippedArch{"x86", IMAGE_FILE_MACHINE_I386},
                                           ShippedArch{"x64", IMAGE_FILE_MACHINE_AMD64}),
                         [](const auto& info) { return std::string(info.param.dir); });

TEST(LoadedLibrary, BindsEveryExportByName) {
    HMODULE module = ::GetModuleHandleA("KvTraceHub001.dll");
    if (!module) module = ::LoadLibraryA("KvTraceHub001.dll");
    ASSERT_NE(nullptr, module);
    for (const char* name : kExportNames)
        EXPECT_NE(nullptr, reinterpret_cast<void*>(::GetProcAddress(module, name))) << name;
    EXPECT_EQ(nullptr, reinterpret_cast<void*>(::GetProcAddress(module, "_Write@12")));
}

}  // namespace
