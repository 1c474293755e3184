// Section 5: the configuration service's registration in each registry view and, where this
// process can make its objects, its answers through the library's own reader. The server appends
// every object it makes to its journal when one is configured; then the doctor does not ask.
#include "contracts/locbase_interfaces.h"
#include "dirlib/locbase_service.h"
#include "dirlib/path_helpers.h"
#include "doctor/pe_image.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"

#include <string>

namespace doctor {

namespace {

constexpr int kSection = 5;

struct Question {
    const char* component;
    std::int32_t valueType;
    const char* name;
};

// The trace component's program directory (the first search candidate) and the co-installer's own.
constexpr Question kQuestions[] = {
    {"X0000302", LocbaseValueProgDir, "prog"},
    {"X0000303", LocbaseValueProgDir, "prog"},
    {"X0000303", LocbaseValueKonfigDir, "config"},
    {"X0000303", LocbaseValueLogDir, "log"},
    {"X0000303", LocbaseValueUserKonfigDir, "userconfig"},
};

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

// The file the server appends to, when "Journal" is set the way the server reads it: a REG_SZ.
bool Journal(std::string& file) {
    LONG status = ERROR_SUCCESS;
    const tesk::UniqueHkey key = OpenKey32(HKEY_LOCAL_MACHINE, kLocbaseServiceKey, status);
    const RawValue value = key ? ReadRawValue(key.get(), kLocbaseJournalValue) : RawValue();
    if (value.status != ERROR_SUCCESS || value.type != REG_SZ) return false;
    const std::vector<std::string> strings = ValueStrings(value);
    file = strings.empty() ? std::string() : strings.front();
    return true;
}

void AskAnswers(Report& report) {
    for (const Question& question : kQuestions) {
        const std::string key = std::string("service.answer.") + question.component + "." + question.name;
        const std::string label = std::string(question.component) + " " + question.name + ": ";
        const std::string answer = _GetValueFromLocbase(question.component, question.valueType, std::string());
        if (answer.empty()) {
            report.Ok(kSection, key, label + "no answer, the library falls back to the registry");
        } else if (_PathExists(answer)) {
            report.Ok(kSection, key, label + answer);
        } else {
            report.Warn(kSection, key, label + answer + " does not exist",
                        "create it, or correct the service's answer for " + std::string(question.component));
        }
    }
}

}  // namespace

void CheckService(Installation& installation, Report& report) {
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
        return;
    }
    if (!ownWhy.empty()) {
        report.Warn(kSection, "service.activation",
                    "a " + bits + " module cannot activate the service (" + ownWhy +
                        "): every directory comes from the registry and the guesses",
                    "register the " + bits + " KvLocbaseService.dll with the " + bits + " regsvr32");
        return;
    }
    report.Ok(kSection, "service.activation", "a " + bits + " module can activate the service");
    std::string journal;
    if (installation.moduleIs64 != (sizeof(void*) == 8)) {
        report.Ok(kSection, "service.answers",
                  std::string("answers not asked: this doctor cannot load a ") + bits + " server, run the " +
                      (installation.moduleIs64 ? "x64" : "x86") + " TeskDoctor.exe to see them");
    } else if (Journal(journal)) {
        report.Ok(kSection, "service.answers", "answers not asked: the service would append to its journal " + journal);
    } else {
        AskAnswers(report);
        installation.serviceAsked = true;
    }
}

}  // namespace doctor
