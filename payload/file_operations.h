// The file operations an update makes, and putting what it wrote on the disk.
#pragma once

#include <windows.h>

#include <string>

// Copy, create, read, write, flush, close, move and delete, as the Windows functions
// of those names. The update makes them through this one table so that a test
// can watch the order in which they reach the file system, or make one fail
// as a failing disk or share would. The table starts as the plain functions.
struct FileOperations {
    BOOL(WINAPI* copy)(LPCSTR from, LPCSTR to, BOOL failIfExists);
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

// Windows keeps written data in its cache and puts it on the disk later; a
// power cut before then can leave a file of the right length holding nothing
// but zeros. Returns once everything written to the file at `path` is on the
// disk. `attributes` are the file's own (a copy takes those of its source):
// a read-only file cannot be opened for the flush, so the attribute is lifted
// for it and put back, and the file keeps exactly the attributes it had.
bool flushToDisk(const std::string& path, DWORD attributes);

// Deletes a copy the update made itself (a backup, a configuration copy). The
// copy took the attributes of its source along; a read-only one would stay
// behind for the user to delete, so when the delete is refused the attribute
// goes first.
bool removeOwnCopy(const std::string& path);

// Whether both files can be read and hold exactly the same bytes. A file
// that cannot be opened or read counts as different: nothing can be said of it.
bool sameContent(const std::string& first, const std::string& second);

// A virus scanner or the search indexer often opens a file that was just
// written for a fraction of a second; an open, a move or a delete then fails
// with a sharing violation or access denied. Those two failures get about a
// second of second chances; every other failure is final at once. `attempt`
// must leave the platform's last error as the failing call set it.
constexpr DWORD kSecondChancesFor = 1000;  // ms in all
constexpr DWORD kSecondChancePause = 50;   // ms between two attempts

inline bool worthASecondChance(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

template <typename Attempt>
bool withSecondChances(Attempt attempt) {
    if (attempt()) return true;
    // The clock is read only once something has failed.
    const ULONGLONG deadline = GetTickCount64() + kSecondChancesFor;
    while (worthASecondChance(GetLastError()) && GetTickCount64() < deadline) {
        Sleep(kSecondChancePause);
        if (attempt()) return true;
    }
    return false;
}
