// The provider DLL's entry: the per-thread extended-error records live in a
// TLS slot that is made here and freed as threads end. The load is logged
// for the benchmarks' start-up breakdown.
#include "wine/LastError.h"
#include "wine/Stats.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        Provider::LastErrorAttachProcess();
        Provider::RecordLoad();
        break;
    case DLL_THREAD_DETACH:
        Provider::LastErrorDetachThread();
        break;
    case DLL_PROCESS_DETACH:
        Provider::LastErrorDetachProcess();
        break;
    default:
        break;
    }
    return TRUE;
}
