/* Probe for the payload resources, linked with resources/payloads.rc and run
 * under Wine by `make_release.py --wine-test`.  It goes through the same
 * calls the updater makes: FindResourceA(NULL, "#id", "GZ"), SizeofResource,
 * LockResource, then zlib's uncompress2 into a buffer of the catalogue size.
 * Executables are then written to %TEMP% under their release name and
 * started (their message box is read and dismissed); libraries are loaded and
 * their version export is called.
 *
 * Arguments: one "id:raw:kind:name" per payload (kind e/l/other).
 * Output, tab separated, read back by make_release.py:
 *   TYPE  <type>                      every resource type in this module
 *   RES   id lang stored inflated crc32 consumed
 *   RUN   id exit=N module-line whole-text
 *   LOAD  id returned-string
 *   ERR   message
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#define MAX_IDS 256

struct lang_seen { unsigned id; int count; WORD lang; };
static struct lang_seen seen[MAX_IDS];
static int nseen;

static void err(const char *fmt, unsigned id, const char *detail)
{
    printf("ERR\t");
    printf(fmt, id, detail ? detail : "");
    printf("\n");
}

static BOOL CALLBACK type_cb(HMODULE m, LPSTR type, LONG_PTR p)
{
    (void)m; (void)p;
    if (IS_INTRESOURCE(type))
        printf("TYPE\t#%u\n", (unsigned)(ULONG_PTR)type);
    else
        printf("TYPE\t%s\n", type);
    return TRUE;
}

static BOOL CALLBACK lang_cb(HMODULE m, LPCSTR type, LPCSTR name, WORD lang, LONG_PTR p)
{
    struct lang_seen *s = (struct lang_seen *)p;
    (void)m; (void)type; (void)name;
    s->count++;
    s->lang = lang;
    return TRUE;
}

static BOOL CALLBACK name_cb(HMODULE m, LPCSTR type, LPSTR name, LONG_PTR p)
{
    (void)p;
    if (!IS_INTRESOURCE(name)) {
        err("GZ resource with a string name %s%s", 0, name);
        return TRUE;
    }
    if (nseen == MAX_IDS)
        return FALSE;
    seen[nseen].id = (unsigned)(ULONG_PTR)name;
    EnumResourceLanguagesA(m, type, name, lang_cb, (LONG_PTR)&seen[nseen]);
    nseen++;
    return TRUE;
}

struct find_ctx { DWORD pid; HWND hwnd; char text[1024]; };

static BOOL CALLBACK top_cb(HWND hwnd, LPARAM lp)
{
    struct find_ctx *c = (struct find_ctx *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid && IsWindowVisible(hwnd)) {
        c->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK child_cb(HWND hwnd, LPARAM lp)
{
    struct find_ctx *c = (struct find_ctx *)lp;
    char t[1024];
    GetWindowTextA(hwnd, t, sizeof t);
    if (strstr(t, "Version")) {
        lstrcpynA(c->text, t, sizeof c->text);
        return FALSE;
    }
    return TRUE;
}

static int write_file(const char *path, const unsigned char *buf, DWORD len)
{
    DWORD done = 0;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    BOOL ok;
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    ok = WriteFile(h, buf, len, &done, NULL);
    CloseHandle(h);
    return ok && done == len;
}

static void run_exe(unsigned id, const char *path)
{
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    struct find_ctx c;
    DWORD code = 0xFFFFFFFF;
    char line[1024], *cr;
    int i;

    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    memset(&c, 0, sizeof c);
    if (!CreateProcessA(path, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        err("%u: CreateProcess failed for %s", id, path);
        return;
    }
    c.pid = pi.dwProcessId;
    WaitForInputIdle(pi.hProcess, 10000);
    for (i = 0; i < 150 && !c.hwnd; i++) {
        EnumWindows(top_cb, (LPARAM)&c);
        if (!c.hwnd)
            Sleep(100);
    }
    if (c.hwnd) {
        EnumChildWindows(c.hwnd, child_cb, (LPARAM)&c);
        /* the OK button of the message box */
        PostMessageA(c.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
        err("%u: no window from %s", id, path);
    }
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        err("%u: %s did not exit; terminated", id, path);
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    lstrcpynA(line, c.text, sizeof line);
    if ((cr = strpbrk(line, "\r\n")) != NULL)
        *cr = 0;
    for (cr = c.text; *cr; cr++)
        if (*cr == '\r' || *cr == '\n' || *cr == '\t')
            *cr = ' ';
    printf("RUN\t%u\texit=%lu\t%s\t%s\n", id, (unsigned long)code, line, c.text);
}

static void load_dll(unsigned id, const char *path)
{
    typedef const char *(__cdecl *version_fn)(void);
    HMODULE h = LoadLibraryA(path);
    version_fn fn;
    if (!h) {
        err("%u: LoadLibrary failed for %s", id, path);
        return;
    }
    fn = (version_fn)(void (*)(void))GetProcAddress(h, "VeltrisModuleVersion");
    if (!fn)
        err("%u: no VeltrisModuleVersion export in %s", id, path);
    else
        printf("LOAD\t%u\t%s\n", id, fn());
    FreeLibrary(h);
}

int main(int argc, char **argv)
{
    char dir[MAX_PATH], path[MAX_PATH * 2];
    int a, k;

    setvbuf(stdout, NULL, _IONBF, 0);
    EnumResourceTypesA(NULL, type_cb, 0);
    EnumResourceNamesA(NULL, "GZ", name_cb, 0);
    if (nseen != argc - 1) {
        printf("ERR\t%d GZ resources, %d expected\n", nseen, argc - 1);
    }

    GetTempPathA(MAX_PATH, dir);
    lstrcatA(dir, "veltris-probe");
    CreateDirectoryA(dir, NULL);

    for (a = 1; a < argc; a++) {
        unsigned id = 0;
        unsigned long raw = 0;
        char kind = 0, name[MAX_PATH] = "";
        char resname[16];
        HRSRC hr;
        HGLOBAL hg;
        const unsigned char *src;
        unsigned char *buf;
        DWORD stored;
        uLongf dlen;
        uLong slen;
        int rc, found = -1;

        if (sscanf(argv[a], "%u:%lu:%c:%259s", &id, &raw, &kind, name) != 4) {
            err("bad argument %u %s", 0, argv[a]);
            continue;
        }
        for (k = 0; k < nseen; k++)
            if (seen[k].id == id)
                found = k;
        if (found < 0) {
            err("%u: not among the enumerated GZ resources%s", id, NULL);
            continue;
        }
        snprintf(resname, sizeof resname, "#%u", id);
        hr = FindResourceA(NULL, resname, "GZ");
        if (!hr) {
            err("%u: FindResourceA failed%s", id, NULL);
            continue;
        }
        stored = SizeofResource(NULL, hr);
        hg = LoadResource(NULL, hr);
        src = hg ? (const unsigned char *)LockResource(hg) : NULL;
        if (!src) {
            err("%u: LoadResource/LockResource failed%s", id, NULL);
            continue;
        }
        /* one spare byte: a stream longer than the catalogue says shows up
         * as a larger inflated size rather than as Z_BUF_ERROR */
        buf = malloc(raw + 1);
        dlen = raw + 1;
        slen = stored;
        rc = uncompress2(buf, &dlen, src, &slen);
        if (rc != Z_OK) {
            printf("ERR\t%u: uncompress2 returned %d\n", id, rc);
            free(buf);
            continue;
        }
        printf("RES\t%u\t%s%u\t%lu\t%lu\t%08lx\t%lu\n", id,
               seen[found].count == 1 ? "" : "several:", (unsigned)seen[found].lang,
               (unsigned long)stored, (unsigned long)dlen,
               (unsigned long)crc32(0, buf, dlen), (unsigned long)slen);

        if ((kind == 'e' || kind == 'l') && dlen == raw) {
            snprintf(path, sizeof path, "%s\\%s", dir, name);
            if (!write_file(path, buf, dlen))
                err("%u: cannot write %s", id, path);
            else if (kind == 'e')
                run_exe(id, path);
            else
                load_dll(id, path);
            DeleteFileA(path);
        }
        free(buf);
    }
    RemoveDirectoryA(dir);
    return 0;
}
