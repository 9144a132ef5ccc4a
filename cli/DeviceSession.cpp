#include "cli/DeviceSession.h"

#include "bridge/I2cSpeedSettings.h"
#include "bridge/SpiClockSettings.h"

#include "cli/SinglePathBackend.h"
#include "protocol/StartUp.h"
#include "res/MessageBox.h"

namespace {

// Where the window shows no box (a cancel, Erase of an EEPROM), the command line still
// says why it stopped.
const char* fallbackMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::Cancelled:
        return "Interrupted";
    case Outcome::NotApplicable:
        return "Only a 25 FLASH chip can be erased or identified";
    default:
        return "The device operation failed";
    }
}

} // namespace

const char* stageName(Stage stage) {
    switch (stage) {
    case Stage::Read:
        return "read";
    case Stage::Erase:
        return "erase";
    case Stage::Write:
        return "write";
    case Stage::Verify:
        return "verify";
    case Stage::BlankCheck:
        return "blank";
    case Stage::Identify:
        return "identify";
    case Stage::FirmwareVersion:
        return "version";
    }
    return "?";
}

ExitCode exitCodeFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return ExitCode::Done;
    case Outcome::NoDevice:
        return ExitCode::NoProgrammer;
    case Outcome::Mismatch:
    case Outcome::NotBlank:
        return ExitCode::Mismatch;
    case Outcome::NotApplicable:
        return ExitCode::UsageOrFile;
    case Outcome::Cancelled:
        return ExitCode::Interrupted;
    case Outcome::Busy:
    case Outcome::TooLarge:
    case Outcome::NoMemory:
    case Outcome::StartFailed:
    case Outcome::Failed:
    case Outcome::NotIdentified:
    case Outcome::WrongChip:
    case Outcome::NoChip:
    case Outcome::NoContact:
    case Outcome::Protected:
    case Outcome::ProtectionLocked:
    case Outcome::LowVoltage:
        return ExitCode::DeviceFailed;
    }
    return ExitCode::DeviceFailed;
}

DeviceSession::DeviceSession(CliContext& context, ChipDatabase& database, std::string devicePath,
                             int index)
    : context_(context), database_(database), path_(std::move(devicePath)), index_(index),
      link_(backendsFor(path_)),
      operations_(context.texts, host_, link_, programmer_, database_, chip_, buffer_) {
    if (context.options.spiClockHz != 0)
        operations_.spiClocks().set(path_, context.options.spiClockHz);
    if (context.options.i2cSpeedKHz != 0)
        operations_.i2cSpeeds().set(path_, uint64_t{context.options.i2cSpeedKHz} * 1000);
}

bool DeviceSession::prepare(DeviceResult* result) {
    StartUp startUp(database_, chip_, buffer_);
    startUp.selectDefaultChip();
    if (const StartUpOutcome stored = startUp.prepareStore(); stored != StartUpOutcome::Ready) {
        *result = {ExitCode::DeviceFailed, startUpMessage(stored, context_.texts)};
        return false;
    }
    programmer_.init(&link_);
    return true;
}

DeviceResult DeviceSession::resultOf(const OperationResult& operation) const {
    if (operation.ok()) {
        return {};
    }
    if (operation.outcome == Outcome::Mismatch) {
        // One line a script can log or grep, in place of the window's box.
        return {ExitCode::Mismatch,
                formatText(context_.texts.verifyDiffLine, static_cast<unsigned>(operation.address),
                           unsigned{operation.bufferByte}, unsigned{operation.chipByte})};
    }
    std::string message = outcomeMessage(context_.texts, operation);
    // Whatever the command said before it was stopped ("Identify Successfully!") is
    // not why it ended.
    if (operation.outcome == Outcome::Cancelled) {
        message = fallbackMessage(operation.outcome);
    }
    if (message.empty()) {
        message = !host_.messages.empty() ? host_.messages.back()
                  : operation.outcome == Outcome::Cancelled || host_.status.empty()
                      ? fallbackMessage(operation.outcome)
                      : host_.status;
    }
    return {exitCodeFor(operation.outcome), plainText(message)};
}

void DeviceSession::reportStart(const char* command) {
    context_.output.result(Json{{"event", "start"},
                                {"command", command},
                                {"device", path_},
                                {"chip", chip_.name},
                                {"bytes", chip_.capacity}},
                           {});
}

void DeviceSession::reportEnd(const char* command, const DeviceResult& result, Json done,
                              const std::string& text) {
    Output& output = context_.output;
    output.endProgress();
    if (result.code != ExitCode::Done) {
        if (context_.options.all && !output.json()) {
            output.result({}, path_ + ": failed (exit " + std::to_string(exitValue(result.code)) +
                                  "): " + result.message);
        } else {
            output.error(path_, result.code, result.message);
        }
        return;
    }
    Json event{{"event", "done"}, {"command", command}, {"device", path_}, {"chip", chip_.name}};
    event.update(done);
    output.result(event, path_ + ": " + host_.status + (text.empty() ? "" : "  " + text));
}

void DeviceSession::Host::setStatusText(const char* text) {
    status = text != nullptr ? text : "";
}

void DeviceSession::Host::showMessage(const std::string& text) {
    messages.push_back(text);
}

void DeviceSession::Host::progress(Stage stage, uint64_t done, uint64_t total) {
    session_.context_.output.progress(session_.path_, stageName(stage), done, total, session_.pass_,
                                      session_.passes_);
}

bool DeviceSession::Host::confirm(const std::string& warning) {
    if (session_.context_.options.force) {
        session_.context_.output.note(warning);
        return true;
    }
    messages.push_back(warning + "\nUse --force to go on all the same");
    return false;
}

bool DeviceSession::Host::confirmClearProtection(const std::string& text) {
    if (session_.context_.options.unprotect) {
        session_.context_.output.note(text);
        return true;
    }
    return false; // the result's box names the range and --unprotect
}

bool DeviceSession::Host::confirmSupplyVoltage(const std::string& text) {
    if (session_.context_.options.force) {
        session_.context_.output.note(text);
        return true;
    }
    session_.context_.output.note(text + "\nUse --force to go on all the same");
    return false;
}

void DeviceSession::Host::identifiedChipChanged() {
    session_.buffer_.setLength(session_.chip_.capacity);
}
