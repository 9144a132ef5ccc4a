// File > Relate in a private XDG data and configuration folder: the files written, their
// contents, idempotence, the messages of both builds, and that a desktop opening a file
// through the entry starts the program with that file as its one argument.
#include "buffer/FileAssociation.h"
#include "MessageRecorder.h"
#include "TempFolder.h"
#include "res/Texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Every regular file below `root` with its content.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    return files;
}

std::string valueOf(const std::string& desktopEntry, const std::string& key) {
    std::istringstream in(desktopEntry);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

// What a desktop does with the Exec value: undo the string escapes of the file, put the
// file's path in place of %f (quoted for the shell that runs the command), %% -> %.
std::string expandExec(const std::string& exec, const std::string& file) {
    std::string unescaped;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) {
            char next = exec[++i];
            unescaped += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            unescaped += exec[i];
        }
    }
    std::string quotedFile = "'";
    for (char c : file)
        quotedFile += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quotedFile += "'";
    std::string command;
    for (size_t i = 0; i < unescaped.size(); ++i) {
        if (unescaped[i] == '%' && i + 1 < unescaped.size()) {
            char code = unescaped[++i];
            command += code == 'f' ? quotedFile : code == '%' ? "%" : "";
        } else {
            command += unescaped[i];
        }
    }
    return command;
}

class Association : public ::testing::Test {
  protected:
    void SetUp() override {
        data = fs::path(dir.path()) / "data";
        config = fs::path(dir.path()) / "config";
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
    }
    std::string desktop() const { return readFile(data / "applications/brimwick.desktop"); }
    std::string mime() const { return readFile(data / "mime/packages/brimwick.xml"); }
    std::string defaults() const { return readFile(config / "mimeapps.list"); }

    TempFolder dir;
    fs::path data, config;
    const std::string exe = "/opt/brimwick/bin/brimwick";
};

} // namespace

TEST_F(Association, WritesEntryTypesAndDefaultsOnce) {
    writeFile(config / "mimeapps.list", "# mine\n[Default Applications]\ntext/plain=gedit.desktop\n"
                                        "application/x-brimwick-bin=other.desktop\n\n"
                                        "[Added Associations]\nimage/png=gimp.desktop;\n");
    RecordingSink sink;
    associateDataFiles(textsFor(Language::English), exe.c_str());
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{
                                "Set this program as the default program of bin files! Continue?",
                                "Successfully!"}));
    EXPECT_EQ(sink.boxes.front().style, BoxStyle::OkCancel);

    EXPECT_EQ(valueOf(desktop(), "Exec"), "\"/opt/brimwick/bin/brimwick\" %f");
    EXPECT_EQ(valueOf(desktop(), "Type"), "Application");
    EXPECT_EQ(valueOf(desktop(), "MimeType"),
              "application/x-brimwick-bin;application/x-brimwick-hex;");
    EXPECT_NE(mime().find("<mime-type type=\"application/x-brimwick-bin\">"), std::string::npos);
    EXPECT_NE(mime().find("<glob pattern=\"*.bin\""), std::string::npos);
    EXPECT_NE(mime().find("<mime-type type=\"application/x-brimwick-hex\">"), std::string::npos);
    EXPECT_NE(mime().find("<glob pattern=\"*.hex\""), std::string::npos);
    EXPECT_EQ(defaults(), "# mine\n[Default Applications]\ntext/plain=gedit.desktop\n"
                          "application/x-brimwick-bin=brimwick.desktop\n"
                          "application/x-brimwick-hex=brimwick.desktop\n\n"
                          "[Added Associations]\nimage/png=gimp.desktop;\n");

    auto once = snapshot(dir.path());
    associateDataFiles(textsFor(Language::English), exe.c_str());
    EXPECT_EQ(snapshot(dir.path()), once) << "a second run changes no file";
}

TEST_F(Association, FreshFoldersAndCancel) {
    RecordingSink sink;
    sink.answer = BoxResult::Cancel;
    associateDataFiles(textsFor(Language::Chinese), exe.c_str());
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"将bin类型文件的默认打开方式设置为本软件，是否继续？"});
    EXPECT_FALSE(fs::exists(data));
    EXPECT_FALSE(fs::exists(config));

    sink.answer = BoxResult::Ok;
    associateDataFiles(textsFor(Language::Chinese), exe.c_str());
    EXPECT_EQ(sink.texts().back(), "文件关联成功！");
    EXPECT_EQ(defaults(), "[Default Applications]\n"
                          "application/x-brimwick-bin=brimwick.desktop\n"
                          "application/x-brimwick-hex=brimwick.desktop\n");
    // No temporary file is left beside the ones replaced.
    for (const auto& [name, content] : snapshot(dir.path()))
        EXPECT_EQ(name.find(".desktop."), std::string::npos) << name;
}

TEST_F(Association, BinFailureStopsBeforeHex) {
    writeFile(data / "applications", "a file where the folder should be");
    RecordingSink english;
    associateDataFiles(textsFor(Language::English), exe.c_str());
    EXPECT_EQ(english.boxes.size(), 1u) << "only the question: the English build stays silent";
    EXPECT_FALSE(fs::exists(data / "mime"));
    EXPECT_FALSE(fs::exists(config / "mimeapps.list"));

    RecordingSink chinese;
    associateDataFiles(textsFor(Language::Chinese), exe.c_str());
    EXPECT_EQ(chinese.texts().back(), "关联BIN文件失败！");
    EXPECT_FALSE(fs::exists(config / "mimeapps.list"));
}

TEST_F(Association, PartWayFailureKeepsWhatWasWritten) {
    // The desktop entry and the MIME type are written, the defaults cannot be.
    fs::create_directories(config / "mimeapps.list");
    RecordingSink sink;
    EXPECT_EQ(registerFileType(kBinFileType, exe.c_str()), 0);
    EXPECT_EQ(valueOf(desktop(), "MimeType"), "application/x-brimwick-bin;");
    EXPECT_NE(mime().find("*.bin"), std::string::npos);
    EXPECT_EQ(mime().find("*.hex"), std::string::npos);
}

TEST_F(Association, ExecLineStartsTheProgramWithTheFileAsItsOneArgument) {
#ifndef ARGV_RECORDER
    GTEST_SKIP() << "no recorder";
#else
    fs::path odd = fs::path(dir.path()) / "prog dir $HOME `x` \"q\" \\b 100%";
    fs::create_directories(odd);
    fs::path program = odd / "brimwick";
    fs::copy_file(ARGV_RECORDER, program);
    fs::permissions(program, fs::perms::owner_all);

    ASSERT_EQ(registerFileType(kBinFileType, program.c_str()), 1);
    std::string exec = valueOf(desktop(), "Exec");
    ASSERT_FALSE(exec.empty());

    fs::path record = fs::path(dir.path()) / "argv";
    setenv("ARGV_RECORD", record.c_str(), 1);
    for (std::string file : {std::string(dir.path()) + "/dump.bin",
                             std::string(dir.path()) + "/my 'chip' $x \"dump\".hex"}) {
        fs::remove(record);
        std::string command = expandExec(exec, file);
        int status = std::system(("/bin/sh -c '" +
                                  [&] {
                                      std::string q;
                                      for (char c : command)
                                          q += c == '\'' ? std::string("'\\''") : std::string(1, c);
                                      return q;
                                  }() +
                                  "'")
                                     .c_str());
        ASSERT_EQ(status, 0) << command;
        EXPECT_EQ(readFile(record), file + std::string(1, '\0')) << command;
    }
    unsetenv("ARGV_RECORD");
#endif
}

// The same through GLib, as a GNOME-like desktop opens a file (when gio is installed).
TEST_F(Association, GioOpensTheFileWithTheProgram) {
#ifndef ARGV_RECORDER
    GTEST_SKIP() << "no recorder";
#else
    if (std::system("command -v gio >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gio is not installed";
    fs::path odd = fs::path(dir.path()) / "prog dir $HOME `x` \"q\" \\b";
    fs::create_directories(odd);
    fs::path program = odd / "brimwick";
    fs::copy_file(ARGV_RECORDER, program);
    fs::permissions(program, fs::perms::owner_all);
    RecordingSink sink;
    associateDataFiles(textsFor(Language::English), program.c_str());
    ASSERT_EQ(sink.texts().back(), "Successfully!");

    fs::path record = fs::path(dir.path()) / "argv";
    for (std::string name : {"dump.bin", "my 'chip' $x.hex"}) {
        fs::remove(record);
        std::string file = std::string(dir.path()) + "/" + name;
        writeFile(file, ":00000001FF\n");
        std::string command =
            "ARGV_RECORD='" + record.string() + "' gio open \"" + file + "\" >/dev/null 2>&1";
        for (size_t at = 0; (at = command.find('$', at)) != std::string::npos; at += 2)
            command.insert(at, "\\");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (int i = 0; i < 500 && readFile(record).empty(); ++i) // the program starts detached
            usleep(10000);
        usleep(20000);
        EXPECT_EQ(readFile(record), file + std::string(1, '\0')) << name;
    }
#endif
}

TEST(AssociationExec, RefusesPathsItCannotWrite) {
    EXPECT_EQ(desktopExecLine(""), "");
    EXPECT_EQ(desktopExecLine("relative/brimwick"), "");
    EXPECT_EQ(desktopExecLine("/a\nb/brimwick"), "");
    EXPECT_EQ(desktopExecLine("/usr/bin/brimwick"), "\"/usr/bin/brimwick\" %f");
}
