// identify: the chip's ID bytes and every chip of the database that answers them; for IDs
// the database lacks, a ready row for the chip table after the not-found message.
#include "chipdb/UnknownChip.h"
#include "cli/Command.h"
#include "cli/Database.h"
#include "cli/DeviceRunner.h"
#include "protocol/BridgeOperations.h"

#include <cstdio>
#include <vector>

namespace {

std::string hexByte(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// Over a bridge: the JEDEC ID and what the chip's SFDP says, as JSON fields.
Json norJson(const bridge::NorIdentity& nor) {
    const bridge::SfdpInfo& sfdp = nor.sfdp;
    Json erase = Json::array();
    for (const bridge::EraseType& type : sfdp.eraseTypes)
        erase.push_back(Json{{"size", type.size}, {"opcode", hexByte(type.opcode)}});
    const char* state = sfdp.state == bridge::SfdpState::Sound     ? "sound"
                        : sfdp.state == bridge::SfdpState::Damaged ? "damaged"
                                                                   : "absent";
    Json sfdpJson{{"state", state}};
    if (sfdp.state == bridge::SfdpState::Sound) {
        sfdpJson.update(Json{{"revision", std::to_string(sfdp.majorRevision) + "." +
                                              std::to_string(sfdp.minorRevision)},
                             {"capacity", sfdp.capacity},
                             {"pageSize", sfdp.pageSize},
                             {"erase", erase},
                             {"fourByteAddress", sfdp.fourByteAddress}});
    } else if (sfdp.state == bridge::SfdpState::Damaged) {
        sfdpJson["problem"] = sfdp.problem;
    }
    return Json{{"jedecId", jedecIdText(nor.jedecId)}, {"sfdp", sfdpJson}};
}

// The chip-table row of a chip built from its SFDP, ready to be checked and sent back.
std::string sfdpTableRow(const ChipInfo& chip, const bridge::NorIdentity& nor) {
    ChipFacts facts;
    facts.jedecId = hexByte(nor.jedecId[0]) + hexByte(nor.jedecId[1]) + hexByte(nor.jedecId[2]);
    for (const bridge::EraseType& type : nor.sfdp.eraseTypes)
        facts.erase += (facts.erase.empty() ? "" : " ") + std::to_string(type.size / 1024) +
                       "K=" + hexByte(type.opcode);
    facts.erase += facts.erase.empty() ? "chip=C7" : " chip=C7";
    facts.addressBytes = chip.capacity > 0x1000000 ? "4" : "3";
    facts.sfdp = "Y";
    facts.shares = "-";
    facts.source = "SFDP";
    return chipTableRow(chip, facts);
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
        if (identified.nor && identified.outcome == Outcome::NotIdentified) {
            const std::string line = "JEDEC ID " + jedecIdText(identified.nor->jedecId) + ", " +
                                     sfdpText(context.texts, identified.nor->sfdp);
            Json event{{"event", "jedec"}, {"device", session.path()}};
            event.update(norJson(*identified.nor));
            context.output.result(event, line);
        }
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
    Json done{{"manufacturerId", hexByte(identified.ids[0])},
              {"deviceId", hexByte(identified.ids[1])},
              {"matches", names}};
    if (identified.nor) {
        done.update(norJson(*identified.nor));
        text += "  JEDEC ID " + jedecIdText(identified.nor->jedecId) + ", " +
                sfdpText(context.texts, identified.nor->sfdp);
        if (matches.empty()) {
            // Unknown to the database, used as built from its SFDP.
            done["unnamedChip"] = session.chip().name;
            text += std::string("  ") + session.chip().name;
        }
    }
    session.reportEnd("identify", result, done, text);
    if (identified.nor && matches.empty()) {
        const std::string row = sfdpTableRow(session.chip(), *identified.nor);
        context.output.note(context.texts.identifyTableRowNote);
        context.output.result(Json{{"event", "tableRow"}, {"device", session.path()}, {"row", row}},
                              row);
    }
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
