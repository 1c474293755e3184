// What only a 32-bit caller can get wrong: callees popping other than their arguments or losing a register,
// the cdecl text-log calls behind stdcall-named import labels, the configuration server's 32-bit view.
#include "coinstaller_harness.h"
#include "contracts/locbase_interfaces.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"
#include "test_support/trace_library.h"

static_assert(sizeof(void*) == 4 && sizeof(SP_DEVINFO_DATA) == 28 && sizeof(SP_DEVINSTALL_PARAMS_W) == 556, "x86 layouts");

// Pushes `count` arguments as a stdcall caller does and calls fn; frame[0]: where the stack pointer ended
// against where it was before the pushes; frame[1]: non-zero when ebx, esi or edi came back changed.
extern "C" DWORD CallStdcall(const void* fn, const DWORD* args, DWORD count, LONG frame[2]);
asm(R"(.text; .globl _CallStdcall
_CallStdcall: pushl %ebp; movl %esp, %ebp; pushl %ebx; pushl %esi; pushl %edi; movl 12(%ebp), %eax; movl 16(%ebp), %ecx
1:  jecxz 2f; pushl -4(%eax,%ecx,4); decl %ecx; jmp 1b
2:  movl $0x1B2C3D4E, %ebx; movl $0x2C3D4E5F, %esi; movl $0x3D4E5F60, %edi; call *8(%ebp)
    movl %esp, %ecx; leal -12(%ebp), %edx; subl %edx, %ecx; movl 20(%ebp), %edx; movl %ecx, (%edx)
    xorl $0x1B2C3D4E, %ebx; xorl $0x2C3D4E5F, %esi; xorl $0x3D4E5F60, %edi; orl %esi, %ebx; orl %edi, %ebx
    movl %ebx, 4(%edx); leal -12(%ebp), %esp; popl %edi; popl %esi; popl %ebx; popl %ebp; ret)");

template <typename... Args> static DWORD CallBalanced(const void* fn, Args... args) {
    const DWORD pushed[] = {(DWORD)(uintptr_t)args...};
    LONG frame[2] = {-1, -1};
    const DWORD result = CallStdcall(fn, pushed, sizeof...(args), frame);
    EXPECT_EQ(std::make_pair(0L, 0L), std::make_pair(frame[0], frame[1])) << "stack pointer moved, registers changed";
    return result;
}

TEST(X86Seams, RequestsKeepTheStackAndTheTextLogGetsTheExactBytes) {
    const test_support::TraceLibrary* trace = test_support::TraceLibraryBesideProgram();  // bound by name, as the module binds it
    ASSERT_TRUE(trace && (CallBalanced((void*)trace->InitTraceSystem) & CallBalanced((void*)trace->entry.ConfigureTrace, "Enabled=1;DefaultLevel=16;File.*=seams.log") & 0xFF));
    const void* entry = test_support::Export(harness::CoInstallerModule(), "CoDeviceInstall");
    constexpr unsigned long long kToken = 0x1122334455667788ULL;  // all 64 bits must travel
    SimSetThreadLogToken(kToken);
    harness::ReaderTree tree = harness::AddReader();
    harness::SetDisable(tree.reader);
    COINSTALLER_CONTEXT_DATA context{};
    const struct { DI_FUNCTION request; BOOL postProcessing; const char* failing; DWORD result; } steps[] = {
        {DIF_REMOVE, FALSE, nullptr, NO_ERROR}, {DIF_SELECTBESTCOMPATDRV, FALSE, nullptr, NO_ERROR},
        {DIF_INSTALLDEVICE, FALSE, nullptr, NO_ERROR}, {DIF_INSTALLDEVICE, FALSE, "SetupDiSetDeviceInstallParamsW", NO_ERROR},
        {DIF_PROPERTYCHANGE, FALSE, nullptr, ERROR_DI_POSTPROCESSING_REQUIRED}, {DIF_PROPERTYCHANGE, TRUE, nullptr, NO_ERROR}};
    for (const auto& step : steps) {
        SimClearFailures();
        if (step.failing) SimInjectFailure(step.failing, SimFailAlways, 0, 1004);
        context.PostProcessing = step.postProcessing;
        EXPECT_EQ(step.result, CallBalanced(entry, step.request, tree.set, &tree.data, &context)) << step.request;
    }
    EXPECT_GE(test_support::TraceTexts("seams.log").size(), std::size(steps));

    const struct { std::string message; BOOL hasError; DWORD error; } logged[] = {
        {"TeskCoInstaller: Parameter <DI_INSTALLDISABLED> wurde gesetzt", FALSE, 0},
        {"TeskCoInstaller: ERROR SetupDiSetDeviceInstallParams", TRUE, 1004},
        {"TeskCoInstaller: Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht", FALSE, 0}};
    ASSERT_EQ(std::size(logged), SimTextLogCount());
    for (size_t i = 0; i < std::size(logged); ++i) {
        SimTextLogEntry got{};
        ASSERT_TRUE(SimGetTextLogEntry(i, &got));
        EXPECT_EQ(std::make_tuple(kToken, DWORD{TXTLOG_INSTALLER}, DWORD{TXTLOG_DETAILS}, logged[i].hasError, logged[i].error, logged[i].message),
                  std::make_tuple(got.token, got.category, got.flags, got.hasError, got.error, std::string(got.message, got.messageLength))) << i;
    }
}

TEST(X86Seams, ConfigurationServerRegisteredBy32BitRegsvr32ServesA32BitProcess) {
    test_support::VendorRegistry registry;
    registry.SetString(std::string(test_support::kSettingsKey) + "\\LocbaseService", "GetSystemPath", "C:\\Korvan\\System");
    char wow64[MAX_PATH] = {}, server[MAX_PATH] = {}, registered[MAX_PATH] = {};
    ASSERT_TRUE(::GetSystemWow64DirectoryA(wow64, MAX_PATH) && ::GetFullPathNameA("KvLocbaseService.dll", MAX_PATH, server, nullptr));
    ASSERT_EQ(0u, test_support::RunProcess(std::string(wow64) + "\\regsvr32.exe", "/s \"" + std::string(server) + "\"").exitCode);
    const char* inproc = "SOFTWARE\\Classes\\CLSID\\{75E51E15-A4D0-4028-8FD3-D3543A34493B}\\InprocServer32";
    DWORD size = sizeof registered;
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_LOCAL_MACHINE, inproc, nullptr, RRF_RT_REG_SZ, nullptr, registered, &size));
    EXPECT_STRCASEEQ(server, registered);
    tesk::UniqueHkey native;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, inproc, 0, KEY_READ | KEY_WOW64_64KEY, native.put())) << "the server is in the 64-bit view";

    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ILocbaseWsInfo* info = nullptr;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_LocbaseWsInfo, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&info)));
    void* const* methods = *reinterpret_cast<void* const* const*>(info);
    BSTR path = nullptr;
    LONG error = -1;
    EXPECT_EQ(DWORD{S_OK}, CallBalanced(methods[3], info, &path, &error));
    const tesk::UniqueBstr owned(path);
    EXPECT_EQ(std::make_pair(0L, std::wstring(L"C:\\Korvan\\System")), std::make_pair(error, std::wstring(path ? path : L"")));
    CallBalanced(methods[2], info);
}
