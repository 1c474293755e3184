// Under Wine a program that dies of a stack overflow exits with code 0, which CTest takes for a
// pass. Compiled into every test program: a crash ends it with the exception code instead.
#include <windows.h>

namespace {

LONG WINAPI ExitWithExceptionCode(EXCEPTION_POINTERS* exception) {
    ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

[[maybe_unused]] const LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = ::SetUnhandledExceptionFilter(ExitWithExceptionCode);

}  // namespace
