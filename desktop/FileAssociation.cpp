#include "desktop/FileAssociation.h"

#include "chipdb/DatabasePath.h"
#include "desktop/DesktopFiles.h"
#include "res/MessageBox.h"
#include "res/Texts.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

const DataFileType kBinFileType = {".bin", "application/x-brimwick-bin"};
const DataFileType kHexFileType = {".hex", "application/x-brimwick-hex"};

namespace {

namespace fs = std::filesystem;

constexpr const char* kRelateEntryName = "brimwick-relate.desktop";
constexpr const char* kRelateMimePackageName = "brimwick-relate.xml";
constexpr const char* kIconPath = "/icons/hicolor/scalable/apps/brimwick.svg";
constexpr const char* kInstalledEntryNames[] = {"brimwick.desktop", "brimwick-zh.desktop"};
constexpr const DataFileType* kAllTypes[] = {&kBinFileType, &kHexFileType};

bool isAbsolute(const char* path) {
    return path && path[0] == '/';
}

bool hasControlCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

// A missing file reads as empty; anything but a readable regular file is a failure.
bool readWholeFile(const std::string& path, std::string& content) {
    content.clear();
    std::error_code error;
    fs::file_type type = fs::symlink_status(path, error).type();
    if (type == fs::file_type::not_found)
        return true;
    if (type == fs::file_type::none || !fs::is_regular_file(path, error))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad() || text.bad())
        return false;
    content = text.str();
    return true;
}

// Replaces `path` by `content` in one rename, so a reader never sees half a file. A symbolic
// link (a managed dotfile, say) is followed and its target replaced.
bool writeFileAtomically(const std::string& path, const std::string& content) {
    std::string target = path;
    struct stat info {};
    mode_t mode = 0644;
    if (lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            char* resolved = realpath(path.c_str(), nullptr);
            if (!resolved)
                return false;
            target = resolved;
            std::free(resolved);
            if (stat(target.c_str(), &info) != 0)
                return false;
        }
        if (!S_ISREG(info.st_mode))
            return false;
        mode = info.st_mode & 07777;
    }

    std::string temporary = target + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, mode) == 0;
    size_t written = 0;
    while (ok && written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            written += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}

bool makeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
}

std::vector<std::string> splitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(content);
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

std::string_view trimmed(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// The value of `key` in the [Desktop Entry] group, with the string escapes of the file undone.
std::string entryValue(const std::string& desktopEntry, std::string_view key) {
    bool inMainGroup = false;
    for (const std::string& line : splitLines(desktopEntry)) {
        std::string_view text = trimmed(line);
        if (!text.empty() && text.front() == '[') {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        size_t equals = text.find('=');
        if (!inMainGroup || equals == std::string_view::npos ||
            trimmed(text.substr(0, equals)) != key)
            continue;
        std::string value;
        std::string_view raw = trimmed(text.substr(equals + 1));
        for (size_t i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (c == '\\' && i + 1 < raw.size()) {
                c = raw[++i];
                c = c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            }
            value += c;
        }
        return value;
    }
    return {};
}

std::vector<std::string> listedMimeTypes(const std::string& desktopEntry) {
    std::vector<std::string> types;
    const std::string value = entryValue(desktopEntry, "MimeType");
    std::string_view list = value;
    while (!list.empty()) {
        size_t semicolon = list.find(';');
        std::string_view item = trimmed(list.substr(0, semicolon));
        if (!item.empty() && !hasControlCharacter(item))
            types.emplace_back(item);
        if (semicolon == std::string_view::npos)
            break;
        list.remove_prefix(semicolon + 1);
    }
    return types;
}

// The program an Exec value starts, as a real path: its first word, unquoted, looked up in
// $PATH when it holds no '/'. Empty when it cannot be found.
std::string execProgramPath(const std::string& exec) {
    std::string program;
    bool quoted = !exec.empty() && exec.front() == '"';
    for (size_t i = quoted ? 1 : 0; i < exec.size() && exec[i] != (quoted ? '"' : ' '); ++i) {
        bool escaped = (quoted && exec[i] == '\\') || (exec[i] == '%' && exec[i + 1] == '%');
        program += escaped && i + 1 < exec.size() ? exec[++i] : exec[i];
    }
    std::vector<std::string> candidates;
    if (program.find('/') != std::string::npos) {
        candidates.push_back(program);
    } else if (const char* path = std::getenv("PATH"); path && !program.empty()) {
        std::istringstream folders(path);
        for (std::string folder; std::getline(folders, folder, ':');)
            candidates.push_back(folder + "/" + program);
    }
    for (const std::string& candidate : candidates) {
        std::error_code error;
        fs::path real = fs::canonical(candidate, error);
        if (!error && access(real.c_str(), X_OK) == 0)
            return real.string();
    }
    return {};
}

bool lists(const std::vector<std::string>& items, std::string_view wanted) {
    for (const std::string& item : items)
        if (item == wanted)
            return true;
    return false;
}

std::string replaceAll(std::string text, std::string_view from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The installed entry's text with this program's command, names and registered types. Hidden
// from menus: like the association it stands for, it only opens files.
std::string desktopEntryText(const std::string& execLine, Language language,
                             const std::vector<std::string>& types) {
    std::string mimeTypes;
    for (const std::string& type : types)
        mimeTypes += type + ';';
    bool chinese = language == Language::Chinese;
    std::string text = kDesktopEntryTemplate;
    text = replaceAll(text, "@BRIMWICK_NAME@",
                      chinese ? kEntryNameChineseBuild : kEntryNameEnglishBuild);
    text = replaceAll(text, "@BRIMWICK_NAME_ZH@",
                      chinese ? kEntryNameZhChineseBuild : kEntryNameZhEnglishBuild);
    text = replaceAll(text, "@BRIMWICK_NO_DISPLAY@", "true");
    text = replaceAll(text, "@BRIMWICK_MIME_TYPES@", mimeTypes);
    // Last: the command is the user's path and may hold anything.
    return replaceAll(text, "@BRIMWICK_EXEC@", execLine);
}

bool writeDesktopEntry(const AssociationFolders& folders, const std::string& execLine,
                       Language language, const DataFileType& type) {
    std::string folder = folders.dataHome + "/applications";
    if (!makeFolder(folder))
        return false;
    std::string path = folder + "/" + kRelateEntryName;
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::vector<std::string> types = listedMimeTypes(old);
    if (!lists(types, type.mimeType))
        types.emplace_back(type.mimeType);
    return writeFileAtomically(path, desktopEntryText(execLine, language, types));
}

constexpr std::string_view kBlockEnd = "</mime-type>\n";

// The installed package's block of one type, as it stands there.
std::string_view mimeTypeBlock(const DataFileType& type) {
    std::string_view package = kMimePackage;
    size_t begin = package.find(std::string("  <mime-type type=\"") + type.mimeType + "\"");
    size_t end = package.find(kBlockEnd, begin);
    if (begin == std::string_view::npos || end == std::string_view::npos)
        return {};
    return package.substr(begin, end + kBlockEnd.size() - begin);
}

// The package holds every type of ours that it held before, plus `type`, in a fixed order;
// with both it equals the installed package.
bool writeMimePackage(const AssociationFolders& folders, const DataFileType& type) {
    std::string folder = folders.dataHome + "/mime/packages";
    if (!makeFolder(folder))
        return false;
    std::string path = folder + "/" + kRelateMimePackageName;
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::string_view package = kMimePackage;
    std::string text(package.substr(0, package.find("  <mime-type")));
    for (const DataFileType* known : kAllTypes) {
        std::string marker = std::string("type=\"") + known->mimeType + "\"";
        if (known == &type || old.find(marker) != std::string::npos)
            text += mimeTypeBlock(*known);
    }
    text += package.substr(package.rfind(kBlockEnd) + kBlockEnd.size());
    return writeFileAtomically(path, text);
}

// The types and the entry name the icon by its theme name: a program that was never
// installed brings its icon along.
bool writeIconIfMissing(const AssociationFolders& folders) {
    std::vector<std::string> homes = folders.dataDirs;
    homes.insert(homes.begin(), folders.dataHome);
    std::error_code error;
    for (const std::string& home : homes)
        if (fs::exists(home + kIconPath, error))
            return true;
    std::string path = folders.dataHome + kIconPath;
    return makeFolder(fs::path(path).parent_path()) && writeFileAtomically(path, kIconSvg);
}

// Sets the default for the type in [Default Applications]; every other line stays.
bool writeDefaultApplication(const AssociationFolders& folders, const DataFileType& type,
                             const std::string& entryName) {
    if (!makeFolder(folders.configHome))
        return false;
    std::string path = folders.configHome + "/mimeapps.list";
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::vector<std::string> lines = splitLines(old);
    std::string entry = std::string(type.mimeType) + "=" + entryName;

    size_t section = lines.size();
    for (size_t i = 0; i < lines.size() && section == lines.size(); ++i)
        if (trimmed(lines[i]) == "[Default Applications]")
            section = i;
    if (section == lines.size()) {
        if (!lines.empty() && !trimmed(lines.back()).empty())
            lines.emplace_back();
        lines.emplace_back("[Default Applications]");
        lines.push_back(entry);
        return writeFileAtomically(path, joinLines(lines));
    }

    size_t insertAt = section + 1;
    for (size_t i = section + 1; i < lines.size(); ++i) {
        std::string_view text = trimmed(lines[i]);
        if (!text.empty() && text.front() == '[')
            break;
        if (text.empty() || text.front() == '#') {
            continue;
        }
        insertAt = i + 1;
        size_t equals = text.find('=');
        if (equals != std::string_view::npos && trimmed(text.substr(0, equals)) == type.mimeType) {
            lines[i] = entry;
            return writeFileAtomically(path, joinLines(lines));
        }
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    return writeFileAtomically(path, joinLines(lines));
}

// Runs a cache tool when it is installed; its absence or failure changes nothing for us.
void runToolIfPresent(const char* tool, const std::string& folder) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string toolName = tool;
    std::string argument = folder;
    char* argv[] = {toolName.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, tool, &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace

AssociationFolders associationFoldersFromEnvironment() {
    AssociationFolders folders{userDataHome(), userConfigHome(), {}};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dirs && dirs[0] ? dirs : "/usr/local/share/:/usr/share/");
    for (std::string dir; std::getline(list, dir, ':');)
        if (isAbsolute(dir.c_str()))
            folders.dataDirs.push_back(dir);
    return folders;
}

std::string runningExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size() - 1)
        return {};
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string desktopExecLine(const std::string& exePath) {
    if (!isAbsolute(exePath.c_str()) || hasControlCharacter(exePath))
        return {};
    // Quoting rule of the Exec key: inside double quotes, " ` $ and \ take a backslash.
    // The string rule of the file, undone before the quoting rule, then doubles every
    // backslash (a literal backslash becomes four), and % must be written %%.
    std::string quoted;
    for (char c : exePath) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        else if (c == '\\')
            quoted += "\\\\\\";
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return "\"" + quoted + "\" %f";
}

std::string desktopEntryFor(const AssociationFolders& folders, const std::string& exePath) {
    std::error_code error;
    fs::path self = fs::canonical(exePath, error);
    std::vector<std::string> homes = folders.dataDirs;
    homes.insert(homes.begin(), folders.dataHome);
    for (const char* name : kInstalledEntryNames) {
        for (const std::string& home : homes) {
            std::string text;
            std::string path = home + "/applications/" + name;
            if (!fs::exists(path, error) || !readWholeFile(path, text))
                continue;
            // The first entry of a name hides the others: only that one counts.
            std::vector<std::string> types = listedMimeTypes(text);
            if (!self.empty() && execProgramPath(entryValue(text, "Exec")) == self.string() &&
                entryValue(text, "Icon") == "brimwick" && lists(types, kBinFileType.mimeType) &&
                lists(types, kHexFileType.mimeType))
                return name;
            break;
        }
    }
    return kRelateEntryName;
}

int registerFileType(const DataFileType& type, Language language, const AssociationFolders& folders,
                     const std::string& exePath) {
    std::string execLine = desktopExecLine(exePath);
    if (execLine.empty() || !isAbsolute(folders.dataHome.c_str()) ||
        !isAbsolute(folders.configHome.c_str()))
        return 0;
    std::string entryName = desktopEntryFor(folders, exePath);
    if (entryName == kRelateEntryName && !writeDesktopEntry(folders, execLine, language, type))
        return 0;
    if (!writeMimePackage(folders, type) || !writeIconIfMissing(folders))
        return 0;
    if (!writeDefaultApplication(folders, type, entryName))
        return 0;
    runToolIfPresent("update-desktop-database", folders.dataHome + "/applications");
    runToolIfPresent("update-mime-database", folders.dataHome + "/mime");
    return 1;
}

int registerFileType(const DataFileType& type, Language language, const char* exePath) {
    return registerFileType(type, language, associationFoldersFromEnvironment(),
                            exePath ? std::string(exePath) : runningExecutablePath());
}

void associateDataFiles(Language language, const char* exePath) {
    const Texts& texts = textsFor(language);
    if (messageBox(texts.relateQuestion, BoxStyle::OkCancel) != BoxResult::Ok)
        return;
    if (!registerFileType(kBinFileType, language, exePath)) {
        messageBoxIf(texts.relateBinFailed);
        return;
    }
    if (!registerFileType(kHexFileType, language, exePath)) {
        messageBoxIf(texts.relateHexFailed);
        return;
    }
    messageBox(texts.relateDone);
}
