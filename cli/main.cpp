// brimwick-cli: every device command of Brimwick+ from scripts and production benches,
// on one programmer or on several at once, over the same core as the window.
#include "bridge/Ch347Spi.h"
#include "bridge/I2cSpeedSettings.h"
#include "bridge/SpiClockSettings.h"
#include "cli/BoxSink.h"
#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "cli/Locale.h"
#include "cli/Options.h"
#include "cli/Output.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace {

constexpr const char* kJsonHelp =
    "With --json every event is one JSON object on its own line of stdout, \"event\" "
    "first:\n"
    "  start     a device command begins (command, device, chip, bytes)\n"
    "  progress  stage (read, write, verify, erase, blank), done and total bytes (and\n"
    "            pass, with read --passes)\n"
    "  done      a command ended well: bytes, and crc32 and sha256 of the chip's bytes\n"
    "            (read, verify) or of the bytes written (write, auto), with chipCrc32\n"
    "            and chipSha256 of the chip's bytes once they were verified\n"
    "  error     a failure: code (the exit code) and message\n"
    "  summary   after --all: devices, failed and code\n"
    "  chip, device, match, version   the rows of chips, devices, identify, version\n";

void addGlobalOptions(CLI::App& app, GlobalOptions& options) {
    app.add_option("--chip", options.chip,
                   "The chip in the socket, by its name in the database; without it a "
                   "flash chip is identified by its ID bytes")
        ->type_name("NAME");
    CLI::Option* device =
        app.add_option("--device", options.device,
                       "The programmer to use: its path or its number, as `devices` lists them")
            ->type_name("PATH|N");
    app.add_flag("--all", options.all, "Run the command on every present programmer at once")
        ->excludes(device);
    app.add_flag("--json", options.json, "One JSON object per line on stdout for each event");
    app.add_option("--db", options.database, "The chip database file (ChipInfo.chip)")
        ->type_name("FILE");
    app.add_option("--format", options.format,
                   "Data file format; without it the file name decides (.hex .ihex: Intel "
                   "HEX; .srec .s19 .s28 .s37 .mot: S-records; else binary)")
        ->check(CLI::IsMember({"bin", "ihex", "srec"}));
    app.add_flag("--yes,-y", options.yes, "Ask nothing: every question is answered OK");
    app.add_option_function<std::string>(
           "--spi-clock",
           [&options](const std::string& text) {
               options.spiClockHz = *bridge::ch347Clock(*bridge::parseSpiClock(text));
           },
           "SPI clock of a CH347 bridge, in Hz or with kHz/MHz (60 MHz divided by a power of "
           "two; a value between is rounded down; default 15 MHz)")
        ->type_name("HZ|MHz")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const std::optional<uint64_t> hz = bridge::parseSpiClock(text);
                if (!hz)
                    return "not a clock: " + text + " (write e.g. 30MHz or 7500000)";
                if (!bridge::ch347Clock(*hz))
                    return text + " is below the slowest SPI clock, " +
                           bridge::spiClockText(bridge::SpiClockSettings::choices().back());
                return {};
            },
            "", "SPI clock"));
    app.add_option_function<std::string>(
           "--i2c-speed",
           [&options](const std::string& text) {
               options.i2cSpeedKHz = *bridge::i2cSpeedKHz(*bridge::parseSpiClock(text));
           },
           "I2C speed of a bridge for 24 EEPROM, in Hz or with kHz (20k, 100k, 400k or 750k; "
           "a value between is rounded down; default 100k)")
        ->type_name("HZ|kHz")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const std::optional<uint64_t> hz = bridge::parseSpiClock(text);
                if (!hz)
                    return "not a speed: " + text + " (write e.g. 400k or 100000)";
                if (!bridge::i2cSpeedKHz(*hz))
                    return text + " is below the slowest I2C speed, 20 kHz";
                return {};
            },
            "", "I2C speed"));
    app.add_flag("--force", options.force,
                 "Go on when the flash chip in the socket answers other IDs than the chip "
                 "worked on, or, over a CH341A bridge, when the chip takes less than its "
                 "3.3 V (without it the command stops with exit 1)");
    app.add_flag("--unprotect", options.unprotect,
                 "Over a CH341A bridge: clear the chip's write protection when Erase or Write "
                 "finds the range protected (without it the command stops with exit 1)");
}

// Ctrl+C asks the running command to stop through the stop token; a second one ends
// the program at once, in case something does not listen.
class InterruptWatcher {
  public:
    InterruptWatcher() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, kWakeSignal);
        // Every thread started from here on has them blocked; this one takes them.
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        thread_ = std::thread([this] { watch(); });
    }
    ~InterruptWatcher() {
        // Wakes the watcher at once, so the program ends without waiting for it.
        pthread_kill(thread_.native_handle(), kWakeSignal);
        thread_.join();
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    std::stop_token token() const { return source_.get_token(); }

  private:
    static constexpr int kWakeSignal = SIGUSR2;

    void watch() {
        for (;;) {
            const int signal = sigwaitinfo(&signals_, nullptr);
            if (signal == kWakeSignal) {
                return;
            }
            if (signal != SIGINT) {
                continue;
            }
            if (source_.stop_requested()) {
                std::signal(SIGINT, SIG_DFL);
                pthread_sigmask(SIG_UNBLOCK, &signals_, nullptr);
                std::raise(SIGINT);
            }
            source_.request_stop();
        }
    }

    sigset_t signals_{};
    std::stop_source source_;
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"brimwick-cli: read, write, verify, erase and identify serial memory chips on "
                 "Brimwick+ programmers (USB 10c4:505d) and simulated ones",
                 "brimwick-cli"};
    app.set_version_flag("--version", std::string("brimwick-cli ") + BRIMWICK_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(std::string("\n") + exitCodeHelp() + "\n" + kJsonHelp);

    GlobalOptions options;
    addGlobalOptions(app, options);
    const std::vector<Command> commands = {
        addDevicesCommand(app), addChipsCommand(app), addIdentifyCommand(app),
        addReadCommand(app),    addWriteCommand(app), addVerifyCommand(app),
        addEraseCommand(app),   addBlankCommand(app), addAutoCommand(app),
        addVersionCommand(app),
    };

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int shown = app.exit(error);
        return shown == 0 ? 0 : exitValue(ExitCode::UsageOrFile);
    }

    // The system's reasons (a file that cannot be opened) in the user's language.
    std::setlocale(LC_MESSAGES, "");
    // A reader that goes away (`| head`) must not end a write half-way: output to it
    // just fails from then on.
    std::signal(SIGPIPE, SIG_IGN);
    InterruptWatcher interrupts;
    Output output(options.json, stdout, stderr, isatty(STDERR_FILENO) == 1);
    CliBoxSink boxes(output, options.yes, stdin, isatty(STDIN_FILENO) == 1);
    const Language language = languageFromEnvironment();
    CliContext context{options, output, boxes, language, textsFor(language), interrupts.token()};
    for (const Command& command : commands) {
        if (command.app->parsed()) {
            return exitValue(command.run(context));
        }
    }
    return exitValue(ExitCode::UsageOrFile);
}
