// The shape write, verify and auto share on each programmer: select the chip, load
// FILE over its capacity, run the operation, print the result with the CRC32 and
// SHA-256 of the chip's bytes.
#pragma once

#include "cli/DeviceSession.h"

#include <functional>
#include <stop_token>
#include <string>

using FileOperation = std::function<OperationResult(DeviceOperations&, std::stop_token)>;

DeviceResult runFileJob(DeviceSession& session, const char* command, const std::string& file,
                        const FileOperation& operation);
