// Turning one embedded payload into one file.
#pragma once

#include "payload/catalogue.h"
#include "payload/presence.h"

#include <string>

// Inflates payload `payloadId` (a resource of type "GZ" of this module) and
// writes it to `targetPath`, replacing the file. The target is opened only
// after a successful inflate, so a failure before the write leaves it as it
// was. Shows nothing; the caller reports.
bool extractPayload(std::string targetPath, PayloadId payloadId, DWORD uncompressedSize, DWORD compressedSize);

// The same for a caller that has just looked the target up: its status is
// used instead of a second lookup of the path. Null: look it up here.
bool extractPayloadOver(const std::string& targetPath, const PathStatus* target, PayloadId payloadId,
                        DWORD uncompressedSize, DWORD compressedSize);

// Closes a completely written target and reports whether the close succeeded;
// a false result makes the extraction fail. Replaceable so that a failing
// close, which a real file system reports only rarely, can be exercised.
// A closer must close the handle whatever it reports. Returns the previous
// closer; null restores the plain CloseHandle.
using TargetCloser = bool (*)(HANDLE file);
TargetCloser setTargetCloser(TargetCloser closer);
