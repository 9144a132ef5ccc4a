// A note, shared by every process of the user, that a programmer may still be inside a
// write data phase, where it programs whatever arrives next into the chip until it has
// had no data for its idle limit. The process that writes keeps the note up to date; a
// process that opens the programmer reads it and waits the phase out before it sends.
//
// One file per programmer in the runtime folder ($XDG_RUNTIME_DIR/brimwick, else a
// private /tmp/brimwick-<uid> of mode 0700), named after the device path. Times are
// milliseconds of usb::tickMs (CLOCK_MONOTONIC, the same in every process of one boot);
// the note carries the boot's id, so one left from before a reboot is ignored.
//
// Threads: record and remove may be called from any thread; one note object is not
// used by two threads at once for the same call (the link serialises them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace usb {

class DataPhaseNote {
  public:
    explicit DataPhaseNote(const std::string& devicePath);

    // The programmer took (or may have taken) its last byte at `lastByteMs`.
    void record(uint64_t lastByteMs) const;
    // The phase ended: the programmer is back in command mode.
    void remove() const;
    // The last-byte time of a note of this boot; none when there is no note or it is
    // from another boot. A note that cannot be made sense of counts from when the file
    // was last written.
    std::optional<uint64_t> lastByteMs() const;

    const std::string& devicePath() const { return devicePath_; }
    // "" when no runtime folder could be had: then nothing is noted.
    const std::string& file() const { return file_; }

  private:
    std::string devicePath_;
    std::string file_;
};

// The runtime folder, created when missing; "" when it cannot be used safely.
std::string runtimeFolder();

} // namespace usb
