// File > Relate in private XDG folders, and a desktop opening a file through its entry.
#include "desktop/FileAssociation.h"
#include "MessageRecorder.h"
#include "TempFolder.h"
#include "res/Texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    writeFile(path, content);
}

// Every regular file below `root` with its content.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    return files;
}

std::string valueOf(const std::string& desktopEntry, const std::string& key) {
    std::istringstream in(desktopEntry);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What a desktop does with the Exec value: undo the string escapes of the file, put the
// file's path in place of %f (quoted for the shell that runs the command), %% -> %.
std::string expandExec(const std::string& exec, const std::string& file) {
    std::string unescaped, command;
    for (size_t i = 0; i < exec.size(); ++i)
        unescaped += exec[i] == '\\' && i + 1 < exec.size() ? exec[++i] : exec[i];
    for (size_t i = 0; i < unescaped.size(); ++i) {
        if (unescaped[i] == '%' && i + 1 < unescaped.size())
            command += unescaped[++i] == 'f' ? shellQuoted(file) : "%";
        else
            command += unescaped[i];
    }
    return command;
}

class Association : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_DATA_DIRS", system.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_DIRS");
    }
    // A program in a folder whose name needs quoting that writes its arguments, each ended
    // by a NUL byte, to the file named by $ARGV_RECORD.
    std::string installRecorder() {
        const fs::path program =
            fs::path(dir.path()) / "prog dir $HOME `x` \"q\" \\b 100%/brimwick";
        writeText(program, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$ARGV_RECORD\"\n");
        fs::permissions(program, fs::perms::owner_all);
        return program.string();
    }
    std::string entry() const { return readFile(data / "applications/brimwick-relate.desktop"); }
    std::string defaults() const { return readFile(config / "mimeapps.list"); }

    TempFolder dir;
    fs::path data = fs::path(dir.path()) / "data", config = fs::path(dir.path()) / "config",
             system = fs::path(dir.path()) / "usr";
    const std::string exe = "/opt/brimwick/bin/brimwick";
};

} // namespace

TEST_F(Association, WritesACompleteEntryTypesIconAndDefaultsOnce) {
    writeText(config / "mimeapps.list", "# mine\n[Default Applications]\ntext/plain=gedit.desktop\n"
                                        "application/x-brimwick-bin=other.desktop\n\n"
                                        "[Added Associations]\nimage/png=gimp.desktop;\n");
    RecordingSink boxes;
    associateDataFiles(Language::English, exe.c_str());
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "Set this program as the default program of bin files! Continue?",
                                 "Successfully!"}));
    EXPECT_EQ(boxes.boxes.front().style, BoxStyle::OkCancel);

    for (auto [key, value] : std::map<std::string, std::string>{
             {"Exec", "\"/opt/brimwick/bin/brimwick\" %f"},
             {"Type", "Application"},
             {"Name", "Brimwick+"},
             {"Name[zh_CN]", "Brimwick+ 英文版"},
             {"GenericName[zh_CN]", "串行存储芯片编程器"},
             {"Icon", "brimwick"},
             {"NoDisplay", "true"},
             {"MimeType", "application/x-brimwick-bin;application/x-brimwick-hex;"}})
        EXPECT_EQ(valueOf(entry(), key), value) << key;
    EXPECT_EQ(entry().find('@'), std::string::npos) << entry();
    // With both types the package is the installed one, icons included; so is the icon.
    EXPECT_EQ(readFile(data / "mime/packages/brimwick-relate.xml"),
              readFile(DESKTOP_SOURCE_DIR "/brimwick.xml"));
    // As the desktop's MIME database reads them: each type named in both languages.
    for (auto [type, english, chinese] : {std::tuple{"bin", "Binary chip image", "二进制芯片映像"},
                                          {"hex", "Intel HEX file", "Intel HEX 文件"}}) {
        const std::string parsed =
            readFile(data / (std::string("mime/application/x-brimwick-") + type + ".xml"));
        EXPECT_NE(parsed.find(std::string("<comment>") + english + "</"), std::string::npos)
            << parsed;
        EXPECT_NE(parsed.find(std::string("<comment xml:lang=\"zh_CN\">") + chinese + "</"),
                  std::string::npos)
            << parsed;
    }
    EXPECT_EQ(readFile(data / "icons/hicolor/scalable/apps/brimwick.svg"),
              readFile(DESKTOP_SOURCE_DIR "/brimwick.svg"));
    EXPECT_EQ(defaults(), "# mine\n[Default Applications]\ntext/plain=gedit.desktop\n"
                          "application/x-brimwick-bin=brimwick-relate.desktop\n"
                          "application/x-brimwick-hex=brimwick-relate.desktop\n\n"
                          "[Added Associations]\nimage/png=gimp.desktop;\n");

    auto once = snapshot(dir.path());
    associateDataFiles(Language::English, exe.c_str());
    EXPECT_EQ(snapshot(dir.path()), once) << "a second run changes no file";
    for (const auto& [name, content] : once)
        EXPECT_EQ(name.find("XXXXXX"), std::string::npos) << "no temporary file is left";
}

// An installed entry that starts this very program is named, not overwritten; a poorer one
// that hides it, or one of another program, gets an entry of Relate's own beside it.
TEST_F(Association, InstalledEntryOfThisProgramIsReused) {
    const std::string program = installRecorder();
    const std::string complete = "[Desktop Entry]\nType=Application\nName=Brimwick+ 中文版\n"
                                 "Exec=" +
                                 desktopExecLine(program) +
                                 "\nIcon=brimwick\nMimeType=application/x-brimwick-bin;"
                                 "application/x-brimwick-hex;\n";
    writeText(system / "applications/brimwick-zh.desktop", complete);
    writeText(system / "icons/hicolor/scalable/apps/brimwick.svg", "<svg/>");
    const std::string poor = "[Desktop Entry]\nExec=" + desktopExecLine(program) + "\n";
    writeText(data / "applications/brimwick.desktop", poor);
    writeText(system / "applications/brimwick.desktop", complete);
    RecordingSink boxes;
    associateDataFiles(Language::Chinese, program.c_str());
    EXPECT_EQ(boxes.texts().back(), "文件关联成功！");
    EXPECT_EQ(defaults(), "[Default Applications]\n"
                          "application/x-brimwick-bin=brimwick-zh.desktop\n"
                          "application/x-brimwick-hex=brimwick-zh.desktop\n");
    EXPECT_FALSE(fs::exists(data / "applications/brimwick-relate.desktop"));
    EXPECT_FALSE(fs::exists(data / "icons")) << "the installed icon serves";
    EXPECT_EQ(readFile(system / "applications/brimwick-zh.desktop"), complete);
    EXPECT_EQ(readFile(data / "applications/brimwick.desktop"), poor);

    fs::remove(system / "applications/brimwick-zh.desktop");
    associateDataFiles(Language::Chinese, program.c_str());
    EXPECT_EQ(valueOf(entry(), "Name") + valueOf(entry(), "Name[zh_CN]"),
              "Brimwick+ (Chinese)Brimwick+ 中文版");
    EXPECT_EQ(valueOf(defaults(), "application/x-brimwick-hex"), "brimwick-relate.desktop");
    EXPECT_EQ(associationFoldersFromEnvironment().dataDirs, std::vector<std::string>{system});
}

TEST_F(Association, CancelAndFailuresInBothBuilds) {
    RecordingSink boxes;
    boxes.answer = BoxResult::Cancel;
    associateDataFiles(Language::Chinese, exe.c_str());
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"将bin类型文件的默认打开方式设置为本软件，是否继续？"});
    EXPECT_FALSE(fs::exists(data) || fs::exists(config));

    // A file where the applications folder should be: .bin fails, .hex is not tried.
    writeText(data / "applications", "a file where the folder should be");
    boxes.answer = BoxResult::Ok;
    boxes.boxes.clear();
    associateDataFiles(Language::English, exe.c_str());
    EXPECT_EQ(boxes.boxes.size(), 1u) << "only the question: the English build stays silent";
    associateDataFiles(Language::Chinese, exe.c_str());
    EXPECT_EQ(boxes.texts().back(), "关联BIN文件失败！");
    EXPECT_FALSE(fs::exists(data / "mime") || fs::exists(config / "mimeapps.list"));

    // The entry and the type are written, the defaults cannot be: what was written stays.
    fs::remove(data / "applications");
    fs::create_directories(config / "mimeapps.list");
    EXPECT_EQ(registerFileType(kBinFileType, Language::English, exe.c_str()), 0);
    EXPECT_EQ(valueOf(entry(), "MimeType"), "application/x-brimwick-bin;");
    const std::string types = readFile(data / "mime/packages/brimwick-relate.xml");
    EXPECT_TRUE(types.find("*.bin") != types.npos && types.find("*.hex") == types.npos) << types;
}

TEST_F(Association, ExecLineStartsTheProgramWithTheFileAsItsOneArgument) {
    const std::string program = installRecorder();
    ASSERT_EQ(registerFileType(kBinFileType, Language::English, program.c_str()), 1);
    const std::string exec = valueOf(entry(), "Exec");
    const fs::path record = fs::path(dir.path()) / "argv";
    setenv("ARGV_RECORD", record.c_str(), 1);
    for (std::string file : {dir.file("dump.bin"), dir.file("my 'chip' $x \"dump\".hex")}) {
        fs::remove(record);
        std::string command = expandExec(exec, file);
        ASSERT_EQ(std::system(("/bin/sh -c " + shellQuoted(command)).c_str()), 0) << command;
        EXPECT_EQ(readFile(record), file + std::string(1, '\0')) << command;
    }
    unsetenv("ARGV_RECORD");

    EXPECT_EQ(desktopExecLine("") + desktopExecLine("relative/brimwick") +
                  desktopExecLine("/a\nb/brimwick"),
              "");
}
