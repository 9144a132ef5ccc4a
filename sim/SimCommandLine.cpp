#include "sim/SimCommandLine.h"

#include "sim/BridgeChip.h"

#include <charconv>
#include <functional>
#include <map>

namespace sim {
namespace {

template <typename T> bool parseNumber(const std::string& text, T* out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, *out);
    return !text.empty() && ec == std::errc() && ptr == end;
}

bool parseProbability(const std::string& text, double* out) {
    return parseNumber(text, out) && *out >= 0.0 && *out <= 1.0;
}

} // namespace

std::string simUsage() {
    return "Usage: brimwick-sim [options]\n"
           "Simulates a Brimwick programmer with a chip in its socket. It appears as a USB\n"
           "programmer to Brimwick+ started by the same user (socket in $BRIMWICK_SIM_DIR,\n"
           "else $XDG_RUNTIME_DIR/brimwick-sim). Runs until interrupted (Ctrl+C or SIGTERM),\n"
           "then unplugs and writes the chip image.\n"
           "\n"
           "Chip:\n"
           "  --chip NAME            chip in the socket, by name in the database (EN25T80)\n"
           "  --empty                no chip in the socket\n"
           "  --image FILE           chip contents: loaded at start (missing = erased), written\n"
           "                         back after every change\n"
           "  --db FILE              chip database (default: the one Brimwick+ uses)\n"
           "  --version-text TEXT    firmware version text (default \"Brimwick SIM V1.00\")\n"
           "Timing:\n"
           "  --rate BYTES_PER_S     data rate of reads and writes (1216000; 0 = unlimited)\n"
           "  --erase-ms MS          how long a chip erase runs (0)\n"
           "  --page-us US           programming time per page during writes (0)\n"
           "Faults (commands are counted from 1 since start; data bytes are chip data):\n"
           "  --seed N               seed of the random faults (1)\n"
           "  --stall-after-bytes N  stop answering after N data bytes\n"
           "  --stall-at-command K   take command K but never answer; then silence\n"
           "  --disconnect-after-bytes N   unplug after N data bytes\n"
           "  --disconnect-at-command K    unplug when command K arrives\n"
           "  --drop-answer-at K     lose the answer to command K\n"
           "  --drop-answer-rate P   lose each answer with probability P (0..1)\n"
           "  --corrupt-answer-at K, --corrupt-answer-rate P    invert the answer's bytes\n"
           "  --stray-packets-at K, --stray-packets-rate P      packets of another command first\n"
           "  --overlong-packets-at K, --overlong-packets-rate P  over-long packets first\n"
           "  --late-answer-at K, --late-answer-rate P          answer only after --late-ms\n"
           "  --late-ms MS           delay of a late answer (1500)\n"
           "  --extra-read-bytes N   send N bytes more than asked at the end of a read\n"
           "  --noisy-read-after-bytes N   invert bit 0 of every byte read after N data\n"
           "                         bytes (a loose contact)\n"
           "Bridge (after the options above; the fault options then count bus bytes:\n"
           "                         SPI or I2C bytes, or eight Microwire clocks):\n"
           "  --bridge ch341a        a CH341A USB-to-SPI bridge (1a86:5512) with the chip\n"
           "                         named by --chip from its own part list: W25Q32, W25Q64,\n"
           "                         W25Q128, W25Q256, GD25Q32, MX25L3205D, 25LC010, 25LC040,\n"
           "                         25LC256, 25LC512, 25LC1024, 24C01, 24C02, 24C04,\n"
           "                         24C08, 24C16, 24C32, 24C64, 24C128, 24C256, 24C512,\n"
           "                         24M01, 24M02, 93C46, 93C56, 93C66, 93C76, 93C86\n"
           "  --bridge ch347         a CH347T high-speed USB bridge (1a86:55db) with the chip\n"
           "                         named by --chip (an SPI or 24-series part of the list\n"
           "                         above), at the SPI clock and I2C speed the host sets\n"
           "  --bridge ch347f        the same on a CH347F (1a86:55de, interface 4), whose I2C\n"
           "                         pins carry I2C only after the host's function switch\n"
           "  --sfdp none|damaged    the chip answers no SFDP, or a table whose size is wrong\n"
           "  --protect HEX          status register 1 at start (block protection bits)\n"
           "  --wp-locked            status register protect bit set and the WP pin held low\n"
           "  --no-contact           the clip touches no chip: MISO is held low, so every byte\n"
           "                         reads 00 (JEDEC ID 00 00 00) and an I2C chip never\n"
           "                         acknowledges\n"
           "  --org 8|16             organisation of a 93-series chip (ORG pin; 16)\n"
           "  --help                 show this text\n"
           "\n"
           "Example: brimwick-sim --chip EN25T80 --image chip.bin\n";
}

bool parseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out,
                         std::string* error) {
    SimCommandLine result;
    Faults& faults = result.firmware.faults;
    Pacing& pacing = result.firmware.pacing;

    using Setter = std::function<bool(const std::string&)>;
    auto u32 = [](uint32_t* target) {
        return Setter([target](const std::string& v) { return parseNumber(v, target); });
    };
    auto u64 = [](uint64_t* target) {
        return Setter([target](const std::string& v) { return parseNumber(v, target); });
    };
    auto optionalU64 = [](std::optional<uint64_t>* target) {
        return Setter([target](const std::string& v) {
            uint64_t value = 0;
            if (!parseNumber(v, &value)) {
                return false;
            }
            *target = value;
            return true;
        });
    };
    auto command = [](uint32_t* target) {
        return Setter(
            [target](const std::string& v) { return parseNumber(v, target) && *target > 0; });
    };
    auto rate = [](double* target) {
        return Setter([target](const std::string& v) { return parseProbability(v, target); });
    };
    auto text = [](std::string* target) {
        return Setter([target](const std::string& v) {
            *target = v;
            return !v.empty();
        });
    };

    const std::map<std::string, Setter> valued = {
        {"--chip", Setter([&result](const std::string& v) {
             result.chipName = v;
             result.chipGiven = true;
             return !v.empty();
         })},
        {"--image", text(&result.imagePath)},
        {"--db", text(&result.databasePath)},
        {"--version-text", text(&result.firmware.versionText)},
        {"--rate", u32(&pacing.bytesPerSecond)},
        {"--erase-ms", u32(&pacing.eraseMs)},
        {"--page-us", u32(&pacing.pageProgramUs)},
        {"--seed", u64(&faults.seed)},
        {"--stall-after-bytes", optionalU64(&faults.stallAfterDataBytes)},
        {"--stall-at-command", command(&faults.stallAtCommand)},
        {"--disconnect-after-bytes", optionalU64(&faults.disconnectAfterDataBytes)},
        {"--disconnect-at-command", command(&faults.disconnectAtCommand)},
        {"--drop-answer-at", command(&faults.dropAnswer.atCommand)},
        {"--drop-answer-rate", rate(&faults.dropAnswer.probability)},
        {"--corrupt-answer-at", command(&faults.corruptAnswer.atCommand)},
        {"--corrupt-answer-rate", rate(&faults.corruptAnswer.probability)},
        {"--stray-packets-at", command(&faults.strayPackets.atCommand)},
        {"--stray-packets-rate", rate(&faults.strayPackets.probability)},
        {"--overlong-packets-at", command(&faults.overlongPackets.atCommand)},
        {"--overlong-packets-rate", rate(&faults.overlongPackets.probability)},
        {"--late-answer-at", command(&faults.lateAnswer.atCommand)},
        {"--late-answer-rate", rate(&faults.lateAnswer.probability)},
        {"--late-ms", u32(&faults.lateAnswerMs)},
        {"--extra-read-bytes", u32(&faults.extraReadBytes)},
        {"--noisy-read-after-bytes", optionalU64(&faults.noisyReadAfterDataBytes)},
        {"--bridge", Setter([&result](const std::string& v) {
             result.bridge = v;
             return v == "ch341a" || v == "ch347" || v == "ch347f";
         })},
        {"--sfdp", Setter([&result](const std::string& v) {
             result.spiChip.sfdp = v == "none" ? SfdpVariant::None : SfdpVariant::Damaged;
             return v == "none" || v == "damaged";
         })},
        {"--protect", Setter([&result](const std::string& v) {
             unsigned value = 0;
             const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, 16);
             result.spiChip.status1 = static_cast<uint8_t>(value);
             return !v.empty() && ec == std::errc() && ptr == v.data() + v.size() && value < 256;
         })},
        {"--org", Setter([&result](const std::string& v) {
             result.microwireWidth = v == "8" ? 8 : 16;
             return v == "8" || v == "16";
         })},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t equals = name.find('=');
            name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            result.help = true;
            continue;
        }
        if (name == "--wp-locked" && !hasValue) {
            result.spiChip.hardwareLock = true;
            continue;
        }
        if (name == "--no-contact" && !hasValue) {
            result.noContact = true;
            continue;
        }
        if (name == "--empty" && !hasValue) {
            result.emptySocket = true;
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end()) {
            *error = "unknown option: " + args[i] + " (see --help)";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!option->second(value)) {
            *error = "invalid value for " + name + ": \"" + value + "\"";
            return false;
        }
    }
    if (result.noContact && result.bridge.empty()) {
        *error = "--no-contact needs --bridge";
        return false;
    }
    if (!result.bridge.empty()) {
        if (!result.chipGiven)
            result.chipName = "W25Q32";
        if (!result.imagePath.empty()) {
            *error = "--image is not available with --bridge";
            return false;
        }
        if (!result.emptySocket &&
            !makeBridgeChip(result.chipName, result.spiChip, result.microwireWidth, VirtualClock())
                 .present()) {
            *error = "no part named \"" + result.chipName + "\" for --bridge (see --help)";
            return false;
        }
    }
    *out = std::move(result);
    return true;
}

Ch341aOptions bridgeOptions(const SimCommandLine& line) {
    const Faults& faults = line.firmware.faults;
    Ch341aOptions options;
    options.seed = faults.seed;
    options.stallAfterSpiBytes = faults.stallAfterDataBytes;
    options.unplugAfterSpiBytes = faults.disconnectAfterDataBytes;
    options.noisyAfterSpiBytes = faults.noisyReadAfterDataBytes;
    options.misoHeldLow = line.noContact;
    return options;
}

Ch347Options ch347Options(const SimCommandLine& line) {
    const Ch341aOptions shared = bridgeOptions(line);
    Ch347Options options;
    options.seed = shared.seed;
    options.stallAfterSpiBytes = shared.stallAfterSpiBytes;
    options.unplugAfterSpiBytes = shared.unplugAfterSpiBytes;
    options.noisyAfterSpiBytes = shared.noisyAfterSpiBytes;
    options.misoHeldLow = shared.misoHeldLow;
    options.variant = line.bridge == "ch347f" ? Ch347Variant::F : Ch347Variant::T;
    return options;
}

} // namespace sim
