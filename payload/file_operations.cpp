#include "payload/file_operations.h"

#include "framework/handles.h"
#include "payload/presence.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

FileOperations g_operations = {CopyFileA, CreateFileA, ReadFile, WriteFile, FlushFileBuffers, CloseHandle, MoveFileExA,
                               DeleteFileA};

}  // namespace

const FileOperations& fileOperations() { return g_operations; }

FileOperations setFileOperations(const FileOperations& operations) {
    const FileOperations previous = g_operations;
    g_operations = operations;
    return previous;
}

bool flushToDisk(const std::string& path, DWORD attributes) {
    const FileOperations& ops = g_operations;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    fw::FileHandle file;
    // Shared as widely as possible: a scanner that has just opened the fresh
    // file must not make the flush fail.
    withSecondChances([&] {
        file.reset(ops.create(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid();
    });
    const bool flushed = file && ops.flush(file.get()) && ops.close(file.release());
    file.reset();
    const bool restored = !readOnly || SetFileAttributesA(path.c_str(), attributes);
    return flushed && restored;
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
    return withSecondChances([&] { return ops.remove(path.c_str()) != FALSE; });
}

bool sameContent(const std::string& first, const std::string& second) {
    const FileOperations& ops = g_operations;
    // Shared as widely as possible: the file may be a program that is running.
    auto open = [&](const std::string& path) {
        return fw::FileHandle(ops.create(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const fw::FileHandle a = open(first);
    const fw::FileHandle b = open(second);
    LARGE_INTEGER sizeA{}, sizeB{};
    if (!a || !b || !GetFileSizeEx(a.get(), &sizeA) || !GetFileSizeEx(b.get(), &sizeB) ||
        sizeA.QuadPart != sizeB.QuadPart)
        return false;
    constexpr DWORD kChunk = 64 * 1024;
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
