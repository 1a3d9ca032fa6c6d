// The test executable's entry point.
#include "framework/Afx.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
// A crashing test ends its process at once with a note, instead of waiting in Wine's
// debugger (or Windows' crash dialog) until CTest's timeout.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "Unhandled exception 0x%08lX at %p: the test crashed.\n",
                 info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

int main(int argc, char** argv)
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(&EndOnCrash);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
