// Section 5: the configuration service's registration in each registry view. The doctor does not
// activate it: the server journals every object it makes, and a diagnosis must leave no trace.
#include "contracts/locbase_interfaces.h"
#include "doctor/pe_image.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"

#include <string>

namespace doctor {

namespace {

constexpr int kSection = 5;

struct ServiceClass {
    const CLSID& id;
    const char* name;
};

constexpr ServiceClass kClasses[] = {
    {CLSID_LocbaseWsInfo, "LocbaseWsInfo"},
    {CLSID_LocbaseDir, "LocbaseDir"},
    {CLSID_LocbaseValue, "LocbaseValue"},
};

std::string ClassKey(const CLSID& id) {
    wchar_t text[40] = {};
    ::StringFromGUID2(id, text, 40);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);
    return "SOFTWARE\\Classes\\CLSID\\" + narrow + "\\InprocServer32";
}

// Why the classes cannot be made in a process of that bitness, or empty when they can be.
std::string Unregistered(bool is64, std::string& server) {
    for (const ServiceClass& entry : kClasses) {
        tesk::UniqueHkey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, ClassKey(entry.id).c_str(), 0,
                            KEY_READ | (is64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY), key.put()) != ERROR_SUCCESS) {
            return std::string(entry.name) + " is not registered";
        }
        const std::vector<std::string> paths = ValueStrings(ReadRawValue(key.get(), nullptr));
        server = paths.empty() ? std::string() : paths.front();
        const std::optional<PeImage> image = ReadPeImage(server);
        if (!image || image->is64 != is64) {
            return std::string(entry.name) + "'s server \"" + server + "\" is missing or not " + Bitness(is64);
        }
    }
    return std::string();
}

}  // namespace

void CheckService(const Installation& installation, Report& report) {
    std::string ownWhy;
    for (const bool is64 : {false, true}) {
        std::string server;
        const std::string why = Unregistered(is64, server);
        const std::string key = std::string("service.registration.") + (is64 ? "x64" : "x86");
        const std::string view = std::string(Bitness(is64)) + " processes: ";
        if (why.empty()) {
            report.Ok(kSection, key, view + "registered, " + server);
        } else {
            report.Ok(kSection, key, view + why);
        }
        if (is64 == installation.moduleIs64) ownWhy = why;
    }
    const std::string bits = Bitness(installation.moduleIs64);
    if (!installation.locbaseActive) {
        report.Ok(kSection, "service.activation", "LocbaseActive keeps the library from asking the service");
    } else if (!ownWhy.empty()) {
        report.Warn(kSection, "service.activation",
                    "a " + bits + " module cannot activate the service (" + ownWhy +
                        "): every directory comes from the registry and the guesses",
                    "register the " + bits + " KvLocbaseService.dll with the " + bits + " regsvr32");
    } else {
        report.Ok(kSection, "service.activation",
                  "a " + bits + " module can activate the service; its answers are not asked, since the server "
                  "journals every object it makes");
    }
}

}  // namespace doctor
