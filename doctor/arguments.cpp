#include "doctor/arguments.h"

#include <cstring>

namespace doctor {

bool ParseArguments(int argc, char** argv, Options& options, std::string& error) {
    bool archGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--json") {
            options.json = true;
            continue;
        }
        if (argument != "--module" && argument != "--host" && argument != "--arch") {
            error = "unknown argument \"" + argument + "\"; " + kUsage;
            return false;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            error = argument + " needs a value; " + kUsage;
            return false;
        }
        const std::string value = argv[++i];
        std::string& slot = argument == "--module" ? options.module : options.host;
        if (argument == "--arch") {
            if (archGiven || (value != "x86" && value != "x64")) {
                error = archGiven ? "--arch given twice; " + std::string(kUsage)
                                  : "--arch must be x86 or x64, not \"" + value + "\"";
                return false;
            }
            archGiven = true;
            options.arch = value == "x86" ? Arch::X86 : Arch::X64;
        } else if (!slot.empty()) {
            error = argument + " given twice; " + kUsage;
            return false;
        } else {
            slot = value;
        }
    }
    return true;
}

}  // namespace doctor
