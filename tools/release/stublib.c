/* Placeholder library shipped in the sample release: loads cleanly and
 * answers the version query, which is all the updater's post-install check
 * asks of a library.  It is linked without the C runtime, so DllMain is the
 * image's entry point and nothing here may call into a runtime library. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/* A rehearsal of a release builds another library with -DRELEASE_VERSION. */
#ifndef RELEASE_VERSION
#define RELEASE_VERSION "1.6.08"
#endif

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)inst; (void)reason; (void)reserved;
    return TRUE;
}

__declspec(dllexport) const char *__cdecl VeltrisModuleVersion(void)
{
    return RELEASE_VERSION;
}
