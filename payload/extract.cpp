#include "payload/extract.h"

#include "framework/handles.h"
#include "payload/file_operations.h"

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <new>

namespace {

const char kPayloadType[] = "GZ";

// Windows refuses to recreate a read-only file, and a hidden or system file
// opened with plain attributes; Wine running as root lets both through, so
// the rule is kept here.
bool protectedFromRecreation(const PathStatus& target) {
    return target.has(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) && !target.folder();
}

}  // namespace

bool extractPayload(std::string targetPath, PayloadId payloadId, DWORD uncompressedSize, DWORD compressedSize) {
    return extractPayloadOver(targetPath, nullptr, payloadId, uncompressedSize, compressedSize);
}

bool extractPayloadOver(const std::string& targetPath, const PathStatus* target, PayloadId payloadId,
                        DWORD uncompressedSize, DWORD compressedSize) {
    char name[16];
    std::snprintf(name, sizeof name, "#%d", payloadId);
    HRSRC resource = FindResourceA(nullptr, name, kPayloadType);
    if (!resource) return false;
    const Bytef* stream = static_cast<const Bytef*>(LockResource(LoadResource(nullptr, resource)));
    if (!stream) return false;

    // The catalogue says how many bytes to inflate; never hand zlib more than
    // the resource holds, so a wrong size cannot make it read past the end.
    uLong available = compressedSize;
    DWORD stored = SizeofResource(nullptr, resource);
    if (available > stored) available = stored;

    std::unique_ptr<Bytef[]> buffer(new (std::nothrow) Bytef[uncompressedSize ? uncompressedSize : 1]());
    if (!buffer) return false;
    uLongf produced = uncompressedSize;
    if (uncompress(buffer.get(), &produced, stream, available) != Z_OK) return false;

    if (targetPath.size() >= kMaxPathLength) return false;
    if (protectedFromRecreation(target ? *target : lookUpPath(targetPath))) return false;
    const FileOperations& ops = fileOperations();
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    fw::FileHandle file(ops.create(targetPath.c_str(), kExtractionOpen.access, kExtractionOpen.share, &inheritable,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    DWORD written = 0;
    if (!ops.write(file.get(), buffer.get(), static_cast<DWORD>(produced), &written, nullptr) || written != produced)
        return false;
    // The file counts as written only once it is on the disk: the caller goes
    // on to delete the backup of what it replaced. The file system may report
    // a failed write only at the flush or at the close.
    return ops.flush(file.get()) && ops.close(file.release());
}
