#include "cli/FileJob.h"

#include "cli/DataFile.h"
#include "cli/DeviceRunner.h"

DeviceResult runFileJob(DeviceSession& session, const char* command, const std::string& file,
                        const FileOperation& operation) {
    DeviceResult result = selectChip(session);
    if (result.code == ExitCode::Done) {
        result = loadInput(session, file);
    }
    if (result.code != ExitCode::Done) {
        session.reportEnd(command, result);
        return result;
    }
    session.reportStart(command);
    result = session.resultOf(operation(session.operations(), session.context().stop));
    if (result.code != ExitCode::Done) {
        session.reportEnd(command, result);
        return result;
    }
    const ChipChecksums sums = chipChecksums(session);
    Json done{{"bytes", session.chip().capacity}, {"file", file}};
    done.update(sums.fields);
    session.reportEnd(command, result, done,
                      std::string(session.chip().name) + "  " +
                          std::to_string(session.chip().capacity) + " bytes  " + file + "  " +
                          sums.text);
    return result;
}
