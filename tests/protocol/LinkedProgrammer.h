// A Programmer bound to the real UsbLink, which finds an in-process simulated
// programmer in a private simulator folder: the whole road a command takes.
#pragma once

#include "protocol/FamilyParams.h"
#include "protocol/Programmer.h"
#include "res/MessageBox.h"
#include "sim/SimServer.h"
#include "tests/sim/FirmwareHost.h"
#include "tests/sim/SimFolder.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace prototest {

using simtest::Bytes;
using simtest::makeChip;
using namespace std::chrono_literals;

class RecordingBoxes : public MessageBoxSink {
  public:
    BoxResult show(BoxStyle, std::string_view text) override {
        texts.emplace_back(text);
        return BoxResult::Ok;
    }
    std::vector<std::string> texts;
};

class LinkedProgrammer : public ::testing::Test {
  protected:
    void SetUp() override {
        previousSink_ = setMessageBoxSink(&boxes_);
        familyParams() = FamilyParams{}; // as in a fresh run
    }

    void TearDown() override {
        if (server_) {
            server_->stop();
        }
        EXPECT_TRUE(boxes_.texts.empty()) << boxes_.texts.front();
        setMessageBoxSink(previousSink_);
    }

    // Plugs in a simulated programmer holding `chip` and binds the programmer to it.
    void plugIn(const ChipInfo* chip, sim::FirmwareOptions options = simtest::unpaced()) {
        firmware_ = std::make_unique<sim::ProgrammerFirmware>(chip, options);
        server_ = std::make_unique<sim::SimServer>(*firmware_);
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
        ASSERT_EQ(link_.open(), 1);
        programmer_.init(&link_);
    }

    // Polls like the window does until the operation is no longer running.
    OpStatus pollToEnd(std::chrono::milliseconds limit = 10s) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const OpStatus status = programmer_.poll();
            if (status == OpStatus::Idle || status == OpStatus::Failed) {
                return status;
            }
            if (std::chrono::steady_clock::now() - start > limit) {
                ADD_FAILURE() << "operation still running after the limit";
                return status;
            }
            std::this_thread::sleep_for(2ms);
        }
    }

    size_t commandsSent() const { return firmware_->commandLog().size(); }
    Bytes lastCommand() const { return firmware_->commandLog().back(); }

    simtest::ScopedSimFolder folder_;
    RecordingBoxes boxes_;
    MessageBoxSink* previousSink_ = nullptr;
    std::unique_ptr<sim::ProgrammerFirmware> firmware_;
    std::unique_ptr<sim::SimServer> server_;
    UsbLink link_;
    Programmer programmer_;
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace prototest
