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
