#include "platform/win32/SystemRandom.h"

#include <windows.h>

#include "platform/win32/SystemLibrary.h"

namespace {
using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);

// Not imported: Windows exports RtlGenRandom from advapi32 as a forwarder to cryptbase.dll, which
// is no KnownDLL, and an import of it would have the loader look for cryptbase.dll beside the
// program (a download folder) as the program starts. Here cryptbase.dll is loaded first from the
// system folder by its full path, so that the forwarder finds it loaded; where there is none
// (Windows XP, Wine) advapi32 answers itself.
RtlGenRandomFn Generator() {
    static const RtlGenRandomFn generator = [] {
        LoadSystemLibrary(L"cryptbase.dll");
        return ProcedureOf<RtlGenRandomFn>(::GetModuleHandleW(L"advapi32.dll"), "SystemFunction036");
    }();
    return generator;
}
}  // namespace

bool SystemRandom(void* buffer, std::size_t size) {
    const RtlGenRandomFn generator = Generator();
    return generator != nullptr && generator(buffer, static_cast<ULONG>(size)) != FALSE;
}
