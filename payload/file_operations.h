// The file operations an update makes, and putting what it wrote on the disk.
#pragma once

#include <windows.h>

#include <string>

// Create, read, write, flush, close, move and delete, as the Windows functions
// of those names. The update makes them through this one table so that a test
// can watch the order in which they reach the file system, or make one fail
// as a failing disk or share would. The table starts as the plain functions.
struct FileOperations {
    HANDLE(WINAPI* create)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE model);
    BOOL(WINAPI* read)(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED overlapped);
    BOOL(WINAPI* write)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI* flush)(HANDLE file);
    BOOL(WINAPI* close)(HANDLE file);
    BOOL(WINAPI* move)(LPCSTR from, LPCSTR to, DWORD flags);
    BOOL(WINAPI* remove)(LPCSTR path);
};

const FileOperations& fileOperations();
// Puts `operations` in force; returns the ones it replaces.
FileOperations setFileOperations(const FileOperations& operations);

// How the update opens a file it writes. A product file is written whole by
// its extraction, which shares it with nobody; a copy (a backup, a
// configuration copy) shares reading and writing, as CopyFileA shares its
// destination: a backup left by an earlier run that another program keeps
// open sharing writes (a backup agent, a logging tool) is overwritten as
// CopyFileA would overwrite it. Never deletion: the file is ours until it is
// closed.
struct OpenMode {
    DWORD access;
    DWORD share;
};
constexpr OpenMode kExtractionOpen{GENERIC_READ | GENERIC_WRITE, 0};
constexpr OpenMode kCopyOpen{GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};

// Whether the existing file `path` opens as `mode` opens it, through the
// file-operation table; the handle is closed at once, nothing is written.
// False leaves the platform's last error.
bool opensAs(const std::string& path, OpenMode mode);

// Copies `from` to `to` (over an existing `to` only when `replace` is set;
// otherwise an existing one fails the copy with ERROR_FILE_EXISTS) and
// returns once the copy is on the disk. Windows keeps written data in its
// cache and puts it on the disk later; a power cut before then can leave a
// file of the right length holding nothing but zeros.
//
// The copy is written and flushed through one handle of the updater's own,
// never opened a second time: a virus scanner takes a fresh file the moment
// it is closed, and one that does not share writing would make a reopen for
// the flush fail. The copy gets what CopyFileA gives it, the source's
// attributes (a read-only file's copy is read-only) and last-write time, so
// that a file put back is exactly as it was. A copy that fails part-way is
// removed again; the platform's last error is the failure's.
bool copyToDisk(const std::string& from, const std::string& to, bool replace);

// Deletes a copy the update made itself (a backup, a configuration copy). The
// copy took the attributes of its source along; a read-only one would stay
// behind for the user to delete, so when the delete is refused the attribute
// goes first.
bool removeOwnCopy(const std::string& path);

// Whether both files can be read and hold exactly the same bytes. A file
// that cannot be opened or read counts as different: nothing can be said of it.
bool sameContent(const std::string& first, const std::string& second);

// Antivirus scanners, the search indexer and backup agents open a file soon
// after it is written and keep it while they read it: a fraction of a second,
// or a few seconds for a large program on a loaded workstation. Many do not
// share deletion, so a move onto the file or its delete fails with a sharing
// violation or access denied until they let go. Those two failures are
// tried again for up to `patience()` milliseconds, with pauses that grow from
// 50 ms to 250 ms; every other failure is final at once. `attempt` must leave
// the platform's last error as the failing call set it.
constexpr DWORD kPatienceMs = 5000;
constexpr DWORD kFirstPauseMs = 50;
constexpr DWORD kLongestPauseMs = 250;

inline bool worthWaitingFor(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

DWORD patience();
// Tests of files held for good shorten the wait; returns the previous one.
DWORD setPatience(DWORD ms);

template <typename Attempt>
bool withPatience(Attempt attempt) {
    if (attempt()) return true;
    // The clock is read only once something has failed.
    const ULONGLONG deadline = GetTickCount64() + patience();
    DWORD pause = kFirstPauseMs;
    for (ULONGLONG now = GetTickCount64(); worthWaitingFor(GetLastError()) && now < deadline;
         now = GetTickCount64()) {
        Sleep(static_cast<DWORD>(deadline - now < pause ? deadline - now : pause));
        if (pause < kLongestPauseMs) pause += kFirstPauseMs;
        if (attempt()) return true;
    }
    return false;
}
