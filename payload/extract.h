// Turning one embedded payload into one file.
#pragma once

#include "payload/catalogue.h"

#include <string>

// Inflates payload `payloadId` (a resource of type "GZ" of this module) and
// writes it to `targetPath`, replacing the file. The target is opened only
// after a successful inflate, so a failure before the write leaves it as it
// was. Shows nothing; the caller reports.
bool extractPayload(std::string targetPath, PayloadId payloadId, DWORD uncompressedSize, DWORD compressedSize);

// The presence test of the install steps and backups: a file or a folder of
// exactly that path. Paths of 260 characters or more count as missing, as
// the ANSI file functions cannot reach them.
bool pathExists(const std::string& path);

// Closes a completely written target and reports whether the close succeeded;
// a false result makes the extraction fail. Replaceable so that a failing
// close, which a real file system reports only rarely, can be exercised.
// A closer must close the handle whatever it reports. Returns the previous
// closer; null restores the plain CloseHandle.
using TargetCloser = bool (*)(HANDLE file);
TargetCloser setTargetCloser(TargetCloser closer);

constexpr size_t kMaxPathLength = MAX_PATH;  // 260: a path this long or longer is out of reach
