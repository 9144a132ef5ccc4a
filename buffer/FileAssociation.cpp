#include "buffer/FileAssociation.h"

#include "res/MessageBox.h"

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

const DataFileType kBinFileType = {".bin", "application/x-brimwick-bin", "binfiletype",
                                   "application/octet-stream"};
const DataFileType kHexFileType = {".hex", "application/x-brimwick-hex", "hexfiletype",
                                   "text/plain"};

namespace {

namespace fs = std::filesystem;

constexpr const char* kDesktopFileName = "brimwick.desktop";
constexpr const char* kMimePackageName = "brimwick.xml";
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

// The MIME types an earlier run listed in our desktop entry, in their order.
std::vector<std::string> listedMimeTypes(const std::string& desktopEntry) {
    std::vector<std::string> types;
    bool inMainGroup = false;
    for (const std::string& line : splitLines(desktopEntry)) {
        std::string_view text = trimmed(line);
        if (!text.empty() && text.front() == '[') {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || !text.starts_with("MimeType"))
            continue;
        size_t equals = text.find('=');
        if (equals == std::string_view::npos || trimmed(text.substr(8, equals - 8)) != "")
            continue;
        std::string_view list = text.substr(equals + 1);
        while (!list.empty()) {
            size_t semicolon = list.find(';');
            std::string_view item = trimmed(list.substr(0, semicolon));
            if (!item.empty() && !hasControlCharacter(item))
                types.emplace_back(item);
            if (semicolon == std::string_view::npos)
                break;
            list.remove_prefix(semicolon + 1);
        }
        break;
    }
    return types;
}

std::string desktopEntryText(const std::string& execLine, const std::vector<std::string>& types) {
    std::string mimeTypes;
    for (const std::string& type : types)
        mimeTypes += type + ';';
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=Brimwick+\n"
           "Comment=Serial memory chip programmer\n"
           "Exec=" +
           execLine +
           "\n"
           "Terminal=false\n"
           "Categories=Development;Electronics;\n"
           "MimeType=" +
           mimeTypes + "\n";
}

bool writeDesktopEntry(const AssociationFolders& folders, const std::string& execLine,
                       const DataFileType& type) {
    std::string folder = folders.dataHome + "/applications";
    if (!makeFolder(folder))
        return false;
    std::string path = folder + "/" + kDesktopFileName;
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::vector<std::string> types = listedMimeTypes(old);
    bool listed = false;
    for (const std::string& listedType : types)
        listed = listed || listedType == type.mimeType;
    if (!listed)
        types.emplace_back(type.mimeType);
    return writeFileAtomically(path, desktopEntryText(execLine, types));
}

std::string mimeTypeBlock(const DataFileType& type) {
    std::string glob = std::string("*") + type.extension;
    return std::string("  <mime-type type=\"") + type.mimeType +
           "\">\n"
           "    <comment>" +
           type.description +
           "</comment>\n"
           "    <sub-class-of type=\"" +
           type.parentType +
           "\"/>\n"
           // Above the usual weight of 50, so the extension decides rather than the content.
           "    <glob pattern=\"" +
           glob +
           "\" weight=\"60\"/>\n"
           "  </mime-type>\n";
}

// The package holds every type of ours that it held before, plus `type`, in a fixed order.
bool writeMimePackage(const AssociationFolders& folders, const DataFileType& type) {
    std::string folder = folders.dataHome + "/mime/packages";
    if (!makeFolder(folder))
        return false;
    std::string path = folder + "/" + kMimePackageName;
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info "
                       "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const DataFileType* known : kAllTypes) {
        std::string marker = std::string("type=\"") + known->mimeType + "\"";
        if (known == &type || old.find(marker) != std::string::npos)
            text += mimeTypeBlock(*known);
    }
    text += "</mime-info>\n";
    return writeFileAtomically(path, text);
}

// Sets the default for the type in [Default Applications]; every other line stays.
bool writeDefaultApplication(const AssociationFolders& folders, const DataFileType& type) {
    if (!makeFolder(folders.configHome))
        return false;
    std::string path = folders.configHome + "/mimeapps.list";
    std::string old;
    if (!readWholeFile(path, old))
        return false;
    std::vector<std::string> lines = splitLines(old);
    std::string entry = std::string(type.mimeType) + "=" + kDesktopFileName;

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

std::string environmentFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (isAbsolute(value))
        return value;
    const char* home = std::getenv("HOME");
    if (isAbsolute(home))
        return std::string(home) + fallbackUnderHome;
    return {};
}

} // namespace

AssociationFolders associationFoldersFromEnvironment() {
    return {environmentFolder("XDG_DATA_HOME", "/.local/share"),
            environmentFolder("XDG_CONFIG_HOME", "/.config")};
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

int registerFileType(const DataFileType& type, const AssociationFolders& folders,
                     const std::string& exePath) {
    std::string execLine = desktopExecLine(exePath);
    if (execLine.empty() || !isAbsolute(folders.dataHome.c_str()) ||
        !isAbsolute(folders.configHome.c_str()))
        return 0;
    if (!writeDesktopEntry(folders, execLine, type))
        return 0;
    if (!writeMimePackage(folders, type))
        return 0;
    if (!writeDefaultApplication(folders, type))
        return 0;
    runToolIfPresent("update-desktop-database", folders.dataHome + "/applications");
    runToolIfPresent("update-mime-database", folders.dataHome + "/mime");
    return 1;
}

int registerFileType(const DataFileType& type, const char* exePath) {
    return registerFileType(type, associationFoldersFromEnvironment(),
                            exePath ? std::string(exePath) : runningExecutablePath());
}

void associateDataFiles(const Texts& texts, const char* exePath) {
    if (messageBox(texts.relateQuestion, BoxStyle::OkCancel) != BoxResult::Ok)
        return;
    if (!registerFileType(kBinFileType, exePath)) {
        messageBoxIf(texts.relateBinFailed);
        return;
    }
    if (!registerFileType(kHexFileType, exePath)) {
        messageBoxIf(texts.relateHexFailed);
        return;
    }
    messageBox(texts.relateDone);
}
