// The device commands of the Operation menu (Read, Erase, Write, Verify, Auto, Chip
// Identify, Firmware Version) and the device steps of start-up, free of any toolkit:
// the window shows what they report through OperationHost, and every box goes
// through res/MessageBox.h.
//
// Each command runs to its end on the window's thread. While one polls the programmer
// it lets the window handle its pending messages, so another command may be chosen
// meanwhile: that one finds the programmer busy and says so.
#pragma once

#include "buffer/DataBuffer.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "protocol/Programmer.h"
#include "res/Texts.h"
#include "usb/UsbLink.h"

#include <cstdint>

// What the device commands need of the window that runs them.
class OperationHost {
  public:
    virtual void setStatusText(const char* text) = 0;
    // Shows the programmer's progress percentage.
    virtual void showProgress() = 0;
    // Shows `percent` when below 100.
    virtual void showPercent(int percent) = 0;
    // Handles pending window messages without waiting.
    virtual void pumpOneMessage() = 0;
    virtual void refreshHexView() = 0;
    // Identify has made another chip current: the buffer's length follows its capacity,
    // the view goes back to the top and the chip panel describes it.
    virtual void identifiedChipChanged() = 0;

  protected:
    ~OperationHost() = default;
};

class DeviceOperations {
  public:
    // The longest the polling loops wait between polls; a finished transfer ends the
    // wait at once.
    static constexpr uint32_t kPollWaitMs = 5;
    static constexpr uint32_t kErasePollWaitMs = 100;
    // Verify reads the chip in blocks of at most this many bytes.
    static constexpr uint32_t kVerifyBlockSize = 0x10000;

    // Every argument must outlive the object; `currentChip` is the window's selected
    // chip, which Identify replaces.
    DeviceOperations(const Texts& texts, OperationHost& host, UsbLink& link, Programmer& programmer,
                     const ChipDatabase& database, ChipInfo& currentChip, DataBuffer& buffer);
    DeviceOperations(const DeviceOperations&) = delete;
    DeviceOperations& operator=(const DeviceOperations&) = delete;

    // Opens the programmer (status line and box when it is not there) and binds the
    // programmer object to the link whether or not it opened.
    void openAtStartUp();

    // Each returns true when its command succeeded; failures have been reported.
    bool read();
    bool erase(); // 25 FLASH only; other families end at once, silently
    bool write();
    bool verify();
    // Erase (25 FLASH only), Write and Verify, each reporting on its own; a step that
    // fails does not stop the next. True when all ran and succeeded.
    bool autoProgram();
    bool identify(); // 25 FLASH only, like erase()
    bool firmwareVersion();

  private:
    bool read(const ChipInfo& chip);
    bool erase(const ChipInfo& chip);
    bool write(const ChipInfo& chip);
    bool verify(const ChipInfo& chip);
    // The opening every command shares, each step with its box: the busy check, the
    // refusal of a chip larger than the buffer (Read, Write, Verify) and the opening of
    // the device afresh. Nothing is sent before them.
    bool programmerIdle();
    bool fitsBuffer(const ChipInfo& chip);
    bool openLink();
    // Polls until the operation no longer runs; while it does, `showRunning` updates
    // the display, one round of window messages is handled and the programmer gets up
    // to `waitMs` to move on. Returns Idle (done) or Failed.
    template <typename ShowRunning>
    OpStatus pollUntilOver(OpStatus running, uint32_t waitMs, ShowRunning showRunning);

    const Texts& texts_;
    OperationHost& host_;
    UsbLink& link_;
    Programmer& programmer_;
    const ChipDatabase& database_;
    ChipInfo& currentChip_;
    DataBuffer& buffer_;
    // Commands whose operation is under way on the programmer (nested ones included).
    int running_ = 0;
};
