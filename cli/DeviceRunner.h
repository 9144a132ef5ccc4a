// How a device command reaches its programmers: the one --device names, every present
// one with --all (each on its own thread, at the same time), else the first present.
// Prints one result per programmer (the job does), then with --all a summary; returns
// the exit code, with several programmers the highest.
#pragma once

#include "cli/Command.h"
#include "cli/DeviceSession.h"

#include <functional>
#include <string>
#include <vector>

// Runs one command on one prepared programmer and prints its result.
using DeviceJob = std::function<DeviceResult(DeviceSession&)>;

struct DeviceCommand {
    const char* name;     // "read"
    bool needsDatabase;   // false for version and devices
    const char* question; // asked once before anything is sent (null: none), e.g.
                          // "Erase the chip"; a terminal user may say no
};

// The device paths of the present programmers, in a stable order.
std::vector<std::string> presentProgrammers();

// "No programmer found" with what to check; at `device` when --device named one.
std::string noProgrammerMessage(const std::string& device);

ExitCode runOnProgrammers(CliContext& context, const DeviceCommand& command, const DeviceJob& job);

// The chip the command works on: --chip by name, else the flash chip identified by its
// ID bytes (more than one chip with those IDs is an error listing them). Done when
// the session's chip is set.
DeviceResult selectChip(DeviceSession& session);
