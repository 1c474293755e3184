#include "bench/codes.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace bench {

namespace {

struct Named {
    const char* name;
    DWORD value;
};

#define NAMED(x) {#x, static_cast<DWORD>(x)}

constexpr Named kInstallFunctions[] = {
    NAMED(DIF_SELECTDEVICE), NAMED(DIF_INSTALLDEVICE), NAMED(DIF_ASSIGNRESOURCES), NAMED(DIF_PROPERTIES),
    NAMED(DIF_REMOVE), NAMED(DIF_FIRSTTIMESETUP), NAMED(DIF_FOUNDDEVICE), NAMED(DIF_SELECTCLASSDRIVERS),
    NAMED(DIF_VALIDATECLASSDRIVERS), NAMED(DIF_INSTALLCLASSDRIVERS), NAMED(DIF_CALCDISKSPACE),
    NAMED(DIF_DESTROYPRIVATEDATA), NAMED(DIF_VALIDATEDRIVER), NAMED(DIF_DETECT), NAMED(DIF_INSTALLWIZARD),
    NAMED(DIF_DESTROYWIZARDDATA), NAMED(DIF_PROPERTYCHANGE), NAMED(DIF_ENABLECLASS), NAMED(DIF_DETECTVERIFY),
    NAMED(DIF_INSTALLDEVICEFILES), NAMED(DIF_UNREMOVE), NAMED(DIF_SELECTBESTCOMPATDRV), NAMED(DIF_ALLOW_INSTALL),
    NAMED(DIF_REGISTERDEVICE), NAMED(DIF_NEWDEVICEWIZARD_PRESELECT), NAMED(DIF_NEWDEVICEWIZARD_SELECT),
    NAMED(DIF_NEWDEVICEWIZARD_PREANALYZE), NAMED(DIF_NEWDEVICEWIZARD_POSTANALYZE),
    NAMED(DIF_NEWDEVICEWIZARD_FINISHINSTALL), NAMED(DIF_INSTALLINTERFACES), NAMED(DIF_DETECTCANCEL),
    NAMED(DIF_REGISTER_COINSTALLERS), NAMED(DIF_ADDPROPERTYPAGE_ADVANCED), NAMED(DIF_ADDPROPERTYPAGE_BASIC),
    NAMED(DIF_TROUBLESHOOTER), NAMED(DIF_POWERMESSAGEWAKE), NAMED(DIF_ADDREMOTEPROPERTYPAGE_ADVANCED),
    NAMED(DIF_UPDATEDRIVER_UI), {"DIF_FINISHINSTALL_ACTION", 0x2A},  // newer than the mingw-w64 headers
};

// Win32 codes first: a report names a result by the first entry with its value.
constexpr Named kCodes[] = {
    NAMED(NO_ERROR), NAMED(ERROR_FILE_NOT_FOUND), NAMED(ERROR_ACCESS_DENIED), NAMED(ERROR_INVALID_HANDLE),
    NAMED(ERROR_NOT_ENOUGH_MEMORY), NAMED(ERROR_GEN_FAILURE), NAMED(ERROR_INVALID_PARAMETER),
    NAMED(ERROR_INSUFFICIENT_BUFFER), NAMED(ERROR_NO_MORE_ITEMS), NAMED(ERROR_CANCELLED),
    NAMED(ERROR_DI_POSTPROCESSING_REQUIRED), NAMED(ERROR_DI_DO_DEFAULT), NAMED(ERROR_DI_NOFILECOPY),
    NAMED(ERROR_NO_SUCH_DEVINST), NAMED(ERROR_INVALID_CLASS), NAMED(ERROR_DEVINFO_NOT_REGISTERED),
    NAMED(ERROR_NO_ASSOCIATED_CLASS), NAMED(ERROR_NOT_DISABLEABLE), NAMED(ERROR_NO_CLASSINSTALL_PARAMS),
    NAMED(ERROR_INVALID_USER_BUFFER),
    NAMED(CR_SUCCESS), NAMED(CR_FAILURE), NAMED(CR_OUT_OF_MEMORY), NAMED(CR_INVALID_POINTER),
    NAMED(CR_INVALID_FLAG), NAMED(CR_INVALID_DEVNODE), NAMED(CR_NO_SUCH_DEVNODE), NAMED(CR_BUFFER_SMALL),
    NAMED(CR_REGISTRY_ERROR), NAMED(CR_ACCESS_DENIED),
};

#undef NAMED

template <size_t N>
std::optional<DWORD> ValueOf(const Named (&table)[N], const std::string& name) {
    for (const Named& entry : table) {
        if (name == entry.name) return entry.value;
    }
    return std::nullopt;
}

template <size_t N>
std::string NameOf(const Named (&table)[N], DWORD value) {
    for (const Named& entry : table) {
        if (entry.value == value) return entry.name;
    }
    return {};
}

}  // namespace

std::optional<DWORD> InstallFunctionByName(const std::string& name) { return ValueOf(kInstallFunctions, name); }

std::string InstallFunctionName(DWORD function) { return NameOf(kInstallFunctions, function); }

std::optional<DWORD> ParseNumber(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    if (*begin == '\0' || *begin == ' ' || *begin == '-' || *begin == '+') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(begin, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(value);
}

std::optional<DWORD> ParseCode(const std::string& text) {
    if (auto named = ValueOf(kCodes, text)) return named;
    return ParseNumber(text);
}

std::string Hex8(DWORD value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
    return buffer;
}

std::string ResultText(DWORD code) {
    // CONFIGRET values overlap small Win32 codes; results of CoDeviceInstall are Win32 codes.
    for (const auto& entry : kCodes) {
        if (entry.value == code && std::string(entry.name).compare(0, 3, "CR_") != 0) {
            return Hex8(code) + " " + entry.name;
        }
    }
    return Hex8(code);
}

}  // namespace bench
