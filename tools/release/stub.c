/* Placeholder program shipped in the sample release.  Every executable
 * payload starts with this image; the bytes appended after it (overlay)
 * make each file distinct and sized like the real one.  It only reports
 * which file it was started from, so a tester can tell the payloads apart
 * once the updater has unpacked them. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#define RELEASE_VERSION "1.6.08"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    char path[MAX_PATH];
    char text[MAX_PATH + 64];
    DWORD n;

    (void)inst; (void)prev; (void)cmd; (void)show;
    n = GetModuleFileNameA(NULL, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        lstrcpyA(path, "(unknown module)");
    /* kernel32 string calls keep the image free of a printf implementation */
    lstrcpyA(text, path);
    lstrcatA(text, "\r\nVersion " RELEASE_VERSION);
    MessageBoxA(NULL, text, "Veltris 5 " RELEASE_VERSION, MB_OK | MB_ICONINFORMATION);
    return 0;
}
