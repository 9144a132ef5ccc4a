// One programmer as a command drives it: its own link (bound to its device path),
// programmer with its own chip-family bytes, selected chip and 16 MiB buffer, and the
// host that turns the core's reports into brimwick-cli's output. With --all one
// session lives on each programmer's thread; sessions share only the read-only chip
// database and the output.
#pragma once

#include "buffer/DataBuffer.h"
#include "chipdb/ChipDatabase.h"
#include "cli/Command.h"
#include "protocol/DeviceOperations.h"
#include "protocol/FamilyParams.h"
#include "protocol/Programmer.h"
#include "usb/UsbLink.h"

#include <optional>
#include <string>
#include <vector>

// What a device command reports for one programmer.
struct DeviceResult {
    ExitCode code = ExitCode::Done;
    std::string message; // why it failed; empty when done
};

class DeviceSession {
  public:
    // `index` counts the programmers from 1 in the order `devices` lists them.
    DeviceSession(CliContext& context, ChipDatabase& database, std::string devicePath, int index);
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    CliContext& context() { return context_; }
    const ChipDatabase& database() const { return database_; }
    const std::string& path() const { return path_; }
    int index() const { return index_; }
    ChipInfo& chip() { return chip_; }
    DataBuffer& buffer() { return buffer_; }
    DeviceOperations& operations() { return operations_; }
    // The status text the core set last ("Read Successfully"), in the build's language.
    const std::string& status() const { return host_.status; }

    // Progress from now on belongs to read `pass` of `passes` (shown when several).
    void setPass(unsigned pass, unsigned passes) {
        pass_ = pass;
        passes_ = passes;
    }

    // Selects the default chip, allocates the store and binds the programmer to the
    // link. False when memory is short (the result says so).
    bool prepare(DeviceResult* result);

    // The command's result for an operation's outcome: its exit code and the message
    // the window would show (or the status text where it shows no box).
    DeviceResult resultOf(const OperationResult& operation) const;

    // Prints the start event of `command` for the selected chip.
    void reportStart(const char* command);
    // Prints the result of `command` on this programmer: an error event or line when it
    // failed; else `done` (its "event", "command", "device" and "chip" are added) and
    // `text` after the device path and status.
    void reportEnd(const char* command, const DeviceResult& result, Json done = Json::object(),
                   const std::string& text = {});

  private:
    class Host final : public OperationHost {
      public:
        Host(DeviceSession& session) : session_(session) {}
        void setStatusText(const char* text) override;
        void showMessage(const std::string& text) override;
        void progress(Stage stage, uint64_t done, uint64_t total) override;
        void pumpOneMessage() override {}
        void refreshHexView() override {}
        void identifiedChipChanged() override;
        bool confirm(const std::string& warning) override;
        bool confirmClearProtection(const std::string& text) override;
        bool confirmSupplyVoltage(const std::string& text) override;

        std::string status;
        std::vector<std::string> messages;

      private:
        DeviceSession& session_;
    };

    CliContext& context_;
    ChipDatabase& database_;
    const std::string path_;
    const int index_;
    unsigned pass_ = 0;
    unsigned passes_ = 0;
    FamilyParams params_;
    ChipInfo chip_{};
    DataBuffer buffer_;
    Host host_{*this};
    Programmer programmer_{params_};
    // After the programmer, so it is destroyed first and stops any transfer still
    // filling the programmer's buffer.
    UsbLink link_;
    DeviceOperations operations_;
};

// The name of a stage in progress events: read, erase, write, verify, blank, ...
const char* stageName(Stage stage);
// The exit code of an operation's outcome.
ExitCode exitCodeFor(Outcome outcome);
