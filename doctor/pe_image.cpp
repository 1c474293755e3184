#include "doctor/pe_image.h"

#include "platform/unique_resource.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace doctor {

namespace {

// Larger files are no DLL of ours; reading them whole would only cost memory.
constexpr DWORD kMaxImageSize = 64 * 1024 * 1024;

std::optional<std::vector<char>> ReadWholeFile(const std::string& path) {
    tesk::UniqueHfile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxImageSize) return std::nullopt;
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

// Every read is bounds-checked: the file may be anything that happens to carry the name.
class Bytes {
public:
    explicit Bytes(const std::vector<char>& data) : data_(data) {}

    template <typename T>
    bool Read(size_t offset, T& value) const {
        if (offset > data_.size() || data_.size() - offset < sizeof(T)) return false;
        std::memcpy(&value, data_.data() + offset, sizeof(T));
        return true;
    }
    std::optional<std::string> Text(size_t offset) const {
        if (offset >= data_.size()) return std::nullopt;
        const char* start = data_.data() + offset;
        const size_t length = strnlen(start, data_.size() - offset);
        if (length == data_.size() - offset) return std::nullopt;
        return std::string(start, length);
    }

private:
    const std::vector<char>& data_;
};

struct Sections {
    std::vector<IMAGE_SECTION_HEADER> headers;

    std::optional<size_t> FileOffset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : headers) {
            const DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent) {
                return static_cast<size_t>(rva - section.VirtualAddress) + section.PointerToRawData;
            }
        }
        return std::nullopt;
    }
};

std::vector<std::string> ExportNames(const Bytes& bytes, const Sections& sections, DWORD exportRva) {
    std::vector<std::string> names;
    IMAGE_EXPORT_DIRECTORY directory{};
    const std::optional<size_t> at = sections.FileOffset(exportRva);
    if (exportRva == 0 || !at || !bytes.Read(*at, directory)) return names;
    const std::optional<size_t> table = sections.FileOffset(directory.AddressOfNames);
    if (!table) return names;
    for (DWORD i = 0; i < directory.NumberOfNames && i < 65536; ++i) {
        DWORD nameRva = 0;
        if (!bytes.Read(*table + i * sizeof(DWORD), nameRva)) break;
        const std::optional<size_t> nameAt = sections.FileOffset(nameRva);
        const std::optional<std::string> name = nameAt ? bytes.Text(*nameAt) : std::nullopt;
        if (name) names.push_back(*name);
    }
    return names;
}

}  // namespace

std::optional<PeImage> ReadPeImage(const std::string& path) {
    const std::optional<std::vector<char>> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    const Bytes bytes(*data);
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!bytes.Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return std::nullopt;
    const size_t nt = static_cast<size_t>(dos.e_lfanew);
    if (!bytes.Read(nt, signature) || signature != IMAGE_NT_SIGNATURE || !bytes.Read(nt + 4, header)) return std::nullopt;

    PeImage image;
    const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    DWORD exportRva = 0;
    if (header.Machine == IMAGE_FILE_MACHINE_AMD64) {
        IMAGE_OPTIONAL_HEADER64 optionalHeader{};
        if (!bytes.Read(optional, optionalHeader)) return std::nullopt;
        image.is64 = true;
        if (optionalHeader.NumberOfRvaAndSizes > 0) exportRva = optionalHeader.DataDirectory[0].VirtualAddress;
    } else if (header.Machine == IMAGE_FILE_MACHINE_I386) {
        IMAGE_OPTIONAL_HEADER32 optionalHeader{};
        if (!bytes.Read(optional, optionalHeader)) return std::nullopt;
        if (optionalHeader.NumberOfRvaAndSizes > 0) exportRva = optionalHeader.DataDirectory[0].VirtualAddress;
    } else {
        return std::nullopt;
    }

    Sections sections;
    const size_t first = optional + header.SizeOfOptionalHeader;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section{};
        if (!bytes.Read(first + i * sizeof section, section)) return std::nullopt;
        sections.headers.push_back(section);
    }
    image.exports = ExportNames(bytes, sections, exportRva);
    return image;
}

std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::string();
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, info.data()) ||
        !::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::string();
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace doctor
