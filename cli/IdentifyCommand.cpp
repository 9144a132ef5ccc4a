// identify: the chip's ID bytes and every chip of the database that answers them; for IDs
// the database lacks, a ready row for the chip table after the not-found message.
#include "chipdb/UnknownChip.h"
#include "cli/Command.h"
#include "cli/Database.h"
#include "cli/DeviceRunner.h"

#include <cstdio>
#include <vector>

namespace {

std::string hexByte(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

DeviceResult identifyChip(DeviceSession& session) {
    CliContext& context = session.context();
    if (!context.options.chip.empty()) {
        // The chip named decides the family the ID command is sent for.
        std::string error;
        if (!lookUpChip(session.database(), context.options.chip, &session.chip(), &error)) {
            const DeviceResult result{ExitCode::UsageOrFile, error};
            session.reportEnd("identify", result);
            return result;
        }
    }
    std::vector<ChipInfo> matches;
    const OperationResult identified = session.operations().identify(&matches, context.stop);
    DeviceResult result = session.resultOf(identified);
    if (!identified.ok()) {
        session.reportEnd("identify", result);
        const bool answered = !(identified.ids[0] == 0xFF && identified.ids[1] == 0xFF);
        if (identified.outcome == Outcome::NotIdentified && answered) {
            const UnknownChipRow row =
                unknownChipRow(session.database(), identified.ids[0], identified.ids[1]);
            const std::string text = chipTableRow(row.chip, row.facts);
            context.output.note(context.texts.identifyTableRowNote);
            context.output.result(
                Json{{"event", "tableRow"}, {"device", session.path()}, {"row", text}}, text);
        }
        return result;
    }
    const std::string ids = hexByte(identified.ids[0]) + " " + hexByte(identified.ids[1]);
    Json names = Json::array();
    std::string text = "IDs " + ids + ":";
    for (const ChipInfo& chip : matches) {
        names.push_back(chip.name);
        text += std::string(" ") + chip.name;
        context.output.result(Json{{"event", "match"},
                                   {"device", session.path()},
                                   {"name", chip.name},
                                   {"manufacturer", chip.manufacturer},
                                   {"capacity", chip.capacity}},
                              {});
    }
    session.reportEnd("identify", result,
                      Json{{"manufacturerId", hexByte(identified.ids[0])},
                           {"deviceId", hexByte(identified.ids[1])},
                           {"matches", names}},
                      text);
    return result;
}

} // namespace

Command addIdentifyCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand(
        "identify", "Read a flash chip's ID bytes and list every chip of the database with them");
    return {app, [](CliContext& context) {
                return runOnProgrammers(context, {"identify", true, nullptr}, identifyChip);
            }};
}
