/* Planted beside a program under the name of a library it loads: when
   loaded, it leaves a mark beside itself (<its path>.ran). Its exports let
   an updater that imports the common controls start with it, so the mark,
   not a failed start, shows that it ran. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char mark[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(self, mark, MAX_PATH);
    if (reason == DLL_PROCESS_ATTACH && length > 0 && length < MAX_PATH && lstrcatA(mark, ".ran"))
        CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    return TRUE;
}

BOOL WINAPI InitCommonControlsEx(const void* init) { return TRUE; }
void* WINAPI ImageList_LoadImageA(HINSTANCE i, LPCSTR n, int w, int g, COLORREF m, UINT t, UINT f) { return NULL; }
BOOL WINAPI ImageList_Destroy(void* list) { return TRUE; }
