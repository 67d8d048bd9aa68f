#include "payload/file_operations.h"

#include "framework/handles.h"
#include "payload/presence.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

FileOperations g_operations = {CreateFileA, ReadFile, WriteFile, FlushFileBuffers, CloseHandle, MoveFileExA,
                               DeleteFileA};
DWORD g_patience = kPatienceMs;

// Files are read and copied in pieces of this size.
constexpr DWORD kChunk = 64 * 1024;

// The attributes a copy is created with; the others (compressed, sparse, ...)
// belong to how a file is stored, and CreateFileA takes none of them.
constexpr DWORD kCopiedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Shared as widely as possible: the file may be a program that is running, or
// one that a scanner is reading.
fw::FileHandle openForReading(const std::string& path) {
    return fw::FileHandle(g_operations.create(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool pump(HANDLE from, HANDLE to, char* buffer) {
    for (;;) {
        DWORD got = 0, written = 0;
        if (!g_operations.read(from, buffer, kChunk, &got, nullptr)) return false;
        if (got == 0) return true;
        if (!g_operations.write(to, buffer, got, &written, nullptr)) return false;
        if (written != got) return SetLastError(ERROR_WRITE_FAULT), false;
    }
}

}  // namespace

const FileOperations& fileOperations() { return g_operations; }

FileOperations setFileOperations(const FileOperations& operations) {
    const FileOperations previous = g_operations;
    g_operations = operations;
    return previous;
}

DWORD patience() { return g_patience; }

DWORD setPatience(DWORD ms) {
    const DWORD previous = g_patience;
    g_patience = ms;
    return previous;
}

bool opensAs(const std::string& path, OpenMode mode) {
    const FileOperations& ops = g_operations;
    const HANDLE file = ops.create(path.c_str(), mode.access, mode.share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ops.close(file);
    return true;
}

bool copyToDisk(const std::string& from, const std::string& to, bool replace) {
    const FileOperations& ops = g_operations;
    const fw::FileHandle source = openForReading(from);
    // Times and attributes only: the fuller GetFileInformationByHandle also
    // asks for the volume, which costs more than the rest of a small copy.
    FILE_BASIC_INFO basic{};
    if (!source || !GetFileInformationByHandleEx(source.get(), FileBasicInfo, &basic, sizeof basic)) return false;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunk]);
    if (!buffer) return SetLastError(ERROR_NOT_ENOUGH_MEMORY), false;
    fw::FileHandle copy(ops.create(to.c_str(), kCopyOpen.access, kCopyOpen.share, nullptr,
                                   replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) return false;
    // The last-write time and attributes go on after the last write, which
    // would move the time again, and through the handle: a copy made over an
    // earlier one takes its attributes from this call, not from its creation.
    // Zero leaves a time as it is. The flush then takes them to the disk with
    // the data. The file system may report a failed write only at the flush
    // or at the close.
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    basic.FileAttributes &= kCopiedAttributes;
    if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (pump(source.get(), copy.get(), buffer.get()) &&
        SetFileInformationByHandle(copy.get(), FileBasicInfo, &basic, sizeof basic) && ops.flush(copy.get()) &&
        ops.close(copy.release()))
        return true;
    const DWORD error = GetLastError();
    copy.reset();
    removeOwnCopy(to);
    SetLastError(error);
    return false;
}

bool removeOwnCopy(const std::string& path) {
    const FileOperations& ops = g_operations;
    if (ops.remove(path.c_str())) return true;
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        const PathStatus status = lookUpPath(path);
        if (status.has(FILE_ATTRIBUTE_READONLY) &&
            !SetFileAttributesA(path.c_str(), status.attributes & ~FILE_ATTRIBUTE_READONLY))
            return false;
    }
    return withPatience([&] { return ops.remove(path.c_str()) != FALSE; });
}

bool sameContent(const std::string& first, const std::string& second) {
    const FileOperations& ops = g_operations;
    const fw::FileHandle a = openForReading(first);
    const fw::FileHandle b = openForReading(second);
    LARGE_INTEGER sizeA{}, sizeB{};
    if (!a || !b || !GetFileSizeEx(a.get(), &sizeA) || !GetFileSizeEx(b.get(), &sizeB) ||
        sizeA.QuadPart != sizeB.QuadPart)
        return false;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[2 * kChunk]);
    if (!buffer) return false;
    char* const bufferA = buffer.get();
    char* const bufferB = buffer.get() + kChunk;
    for (;;) {
        DWORD gotA = 0, gotB = 0;
        if (!ops.read(a.get(), bufferA, kChunk, &gotA, nullptr) || !ops.read(b.get(), bufferB, kChunk, &gotB, nullptr))
            return false;
        if (gotA != gotB || std::memcmp(bufferA, bufferB, gotA) != 0) return false;
        if (gotA == 0) return true;
    }
}
