#include "chipdb/DatabasePath.h"

#include "chipdb/ChipDatabase.h"

std::string databasePathBeside(std::string_view executablePath) {
    size_t separator = executablePath.rfind('/');
    if (separator == std::string_view::npos)
        return {};
    std::string path(executablePath.substr(0, separator + 1));
    path += kChipDatabaseFileName;
    if (path.size() > ChipDatabase::kMaxPathLength)
        return {};
    return path;
}
