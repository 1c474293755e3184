// The installation bench: plays a scenario file against the unmodified co-installer, the way
// SetupAPI calls it, and reports what the module did. Exit code 0 when every expectation of the
// scenario is met, 1 when one is not, 2 for bad input (nothing is run then).
#include "bench/runner.h"
#include "bench/text.h"
#include "platform/unique_resource.h"

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: bench.exe [--module <TeskCoInstaller.dll>] [--trace-library <KvTraceHub001.dll>] [--work <directory>] <scenario file>\n"
    "  --module         the co-installer to play against (default: payload\\TeskCoInstaller.dll beside bench.exe)\n"
    "  --trace-library  the trace-system library for scenarios with a trace (default: the one beside the module)\n"
    "  --work           where the module copy and the trace file go (default: runs\\<scenario name> beside bench.exe)\n";

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    return exe.substr(0, exe.find_last_of(L"\\/"));
}

std::wstring Stem(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

int main() {
    int count = 0;
    tesk::UniqueHlocal argvBlock(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!argvBlock) {
        std::fprintf(stderr, "bench: cannot read the command line\n");
        return bench::kBadInput;
    }
    const auto argv = static_cast<wchar_t**>(argvBlock.get());
    bench::RunPaths paths;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = argv[i];
        std::wstring* option = arg == L"--module" ? &paths.module : arg == L"--trace-library" ? &paths.traceLibrary : arg == L"--work" ? &paths.work : nullptr;
        if (option != nullptr) {
            if (i + 1 >= count) {
                std::fprintf(stderr, "bench: %s needs a value\n%s", bench::Utf8FromWide(arg).c_str(), kUsage);
                return bench::kBadInput;
            }
            *option = argv[++i];
        } else if (arg.compare(0, 2, L"--") == 0 || !paths.scenario.empty()) {
            std::fprintf(stderr, "bench: unexpected argument %s\n%s", bench::Utf8FromWide(arg).c_str(), kUsage);
            return bench::kBadInput;
        } else {
            paths.scenario = arg;
        }
    }
    if (paths.scenario.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return bench::kBadInput;
    }
    const std::wstring home = ExeDirectory();
    if (paths.module.empty()) paths.module = home + L"\\payload\\TeskCoInstaller.dll";
    if (paths.work.empty()) paths.work = home + L"\\runs\\" + Stem(paths.scenario);
    const bench::ExitCode code = bench::Run(paths, stdout, stderr);
    std::fflush(stdout);
    return code;
}
