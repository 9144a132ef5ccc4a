// A real main window on a temporary chip database, talking through the real device
// link to an in-process simulated programmer in a private simulator folder.
#pragma once

#include "tests/app/AppTestSupport.h"
#include "tests/sim/SimFolder.h"

#include "protocol/FamilyParams.h"
#include "sim/ProgrammerFirmware.h"
#include "sim/SimServer.h"

#include <QLineEdit>
#include <QProgressBar>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace optest {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

inline ChipInfo flashChip(const char* name, uint32_t capacity, uint8_t manufacturerId = 0x1C,
                          uint8_t deviceId = 0x13) {
    return makeChip(ChipType::Flash25, name, capacity, 1, 256, manufacturerId, deviceId, 8, "Eon");
}

// Bytes that differ from address to address and from their neighbours' pattern.
inline Bytes pattern(uint32_t length, uint32_t seed = 7) {
    Bytes bytes(length);
    uint32_t x = seed * 2654435761u + 1;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

inline sim::FirmwareOptions unpaced() {
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 0;
    return options;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class OperationsTest : public ::testing::Test {
  protected:
    void SetUp() override { familyParams() = FamilyParams{}; }

    // Plugs in a simulated programmer holding `chip` (null: empty socket).
    void plugIn(const ChipInfo* chip, sim::FirmwareOptions options = unpaced()) {
        server_.reset();
        firmware_ = std::make_unique<sim::ProgrammerFirmware>(chip, std::move(options));
        server_ = std::make_unique<sim::SimServer>(*firmware_);
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
    }

    // The same programmer again, healthy: faults off, fresh firmware state, the chip
    // keeping its contents.
    void replug() {
        server_.reset();
        firmware_->setFaults({});
        firmware_->powerCycle();
        server_ = std::make_unique<sim::SimServer>(*firmware_);
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
    }

    // Starts the window on a database of `chips` (EN25T80 among them is selected).
    CMainDlg& start(Language language, const std::vector<ChipInfo>& chips = standardChips()) {
        started_ = startWindow(language, chips);
        EXPECT_TRUE(started_->startedUp);
        return *started_->window;
    }

    CMainDlg& window() { return *started_->window; }
    void select(const ChipInfo& chip) { selectChip(window(), chip); }

    std::string status() { return window().statusEdit()->text().toStdString(); }
    std::string percent() { return window().percentEdit()->text().toStdString(); }
    Bytes storeBytes(uint32_t offset, uint32_t length) {
        const uint8_t* store = window().dataBuffer().store();
        return Bytes(store + offset, store + offset + length);
    }
    void setStore(uint32_t offset, const Bytes& bytes) {
        std::memcpy(window().dataBuffer().store() + offset, bytes.data(), bytes.size());
    }
    size_t commandCount() const { return firmware_->commandLog().size(); }
    // The opcodes of the commands sent since `from`.
    Bytes opcodesSince(size_t from) const {
        Bytes opcodes;
        const auto log = firmware_->commandLog();
        for (size_t i = from; i < log.size(); ++i)
            opcodes.push_back(log[i].empty() ? 0 : log[i][0]);
        return opcodes;
    }
    // The lengths asked by the read commands sent since `from`.
    std::vector<uint32_t> readLengthsSince(size_t from) const {
        std::vector<uint32_t> lengths;
        const auto log = firmware_->commandLog();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].size() == 15 && log[i][0] == 0x01)
                lengths.push_back(uint32_t{log[i][7]} << 24 | uint32_t{log[i][8]} << 16 |
                                  uint32_t{log[i][9]} << 8 | log[i][10]);
        return lengths;
    }

    // Members in the order they must come up; the window goes first at the end, so the
    // link is closed before the programmer it talks to is unplugged.
    simtest::ScopedSimFolder simFolder_;
    RecordingSink boxes_;
    std::unique_ptr<sim::ProgrammerFirmware> firmware_;
    std::unique_ptr<sim::SimServer> server_;
    std::unique_ptr<StartedWindow> started_;
};

} // namespace optest
