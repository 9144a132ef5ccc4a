// Chip Select and Relate reached from the main window: the chip change reaches the
// buffer length, the view and the panel; a related file starts the program loaded.
#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "AppTestSupport.h"
#include "desktop/FileAssociation.h"
#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ControlId.h"

namespace {

void chooseChip(CChipSelectDlg* dialog, const char* manufacturer, int familyButton,
                const char* chip) {
    auto found = dialog->manufacturerList()->findItems(manufacturer, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    dialog->manufacturerList()->setCurrentItem(found.front());
    auto* button = findControl<QAbstractButton>(dialog, familyButton);
    ASSERT_NE(button, nullptr);
    button->click();
    auto chips = dialog->deviceList()->findItems(chip, Qt::MatchExactly);
    ASSERT_EQ(chips.size(), 1);
    dialog->deviceList()->setCurrentItem(chips.front());
    dialog->accept();
}

TEST(ChipSelectCommand, ChosenChipSetsLengthViewAndPanel) {
    RecordingSink boxes;
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    ASSERT_EQ(window.dataBuffer().length(), 0x100000u);

    auto ran = whenModal<QDialog>([](QDialog* dialog) {
        auto* select = dynamic_cast<CChipSelectDlg*>(dialog);
        ASSERT_NE(select, nullptr);
        chooseChip(select, "Atmel", 1057, "AT24C02");
    });
    window.OnChipSelect();
    ASSERT_TRUE(*ran);

    EXPECT_STREQ(window.currentChip().name, "AT24C02");
    EXPECT_EQ(window.dataBuffer().length(), 256u);
    EXPECT_EQ(window.hexViewModel().topRow, 0u);
    EXPECT_EQ(window.hexViewModel().rowCount, 16u);
    EXPECT_EQ(hexLine(window, 15)[0], "0x0000F0:");
    EXPECT_EQ(hexLine(window, 16)[0], " ");
    EXPECT_TRUE(window.chipInfoEdit()->toPlainText().startsWith("Chip:AT24C02"));
    EXPECT_FALSE(window.action(IdErase)->isEnabled());
    EXPECT_FALSE(window.action(IdChipIdentify)->isEnabled());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(ChipSelectCommand, CancelChangesNothing) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    auto ran = whenModal<QDialog>([](QDialog* dialog) {
        EXPECT_NE(dynamic_cast<CChipSelectDlg*>(dialog), nullptr);
        dialog->reject();
    });
    window.OnChipSelect();
    ASSERT_TRUE(*ran);
    EXPECT_STREQ(window.currentChip().name, "EN25T80");
    EXPECT_EQ(window.dataBuffer().length(), 0x100000u);
    EXPECT_TRUE(window.action(IdErase)->isEnabled());
}

// Relate writes a desktop entry whose command line, given a file, starts the
// program with that file as its one argument, and start-up then loads it.
TEST(RelateCommand, DesktopEntryStartsTheProgramWithTheFileLoaded) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string data = home.filePath("data").toStdString();
    const std::string config = home.filePath("config").toStdString();
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    RecordingSink boxes;
    auto started = startWindow(Language::English);
    started->window->OnFileAssociate();
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "Set this program as the default program of bin files! Continue?",
                                 "Successfully!"}));

    std::ifstream entry(data + "/applications/brimwick-relate.desktop");
    ASSERT_TRUE(entry.good());
    std::string line, exec;
    while (std::getline(entry, line))
        if (line.rfind("Exec=", 0) == 0)
            exec = line.substr(5);
    // Exec="<exe>" %f
    const std::string exe = runningExecutablePath();
    ASSERT_EQ(exec, "\"" + exe + "\" %f");

    const std::string file = started->path("image.bin");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 64; ++i)
            out.put(static_cast<char>(i * 3));
    }
    // The %f field becomes the single argument after the program.
    auto relaunched = startWindow(Language::English, standardChips(), {file});
    ASSERT_TRUE(relaunched->startedUp);
    const auto bytes = relaunched->window->dataBuffer().bytes();
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(bytes[i], static_cast<uint8_t>(i * 3)) << i;
    EXPECT_EQ(bytes[64], 0xFF);
}

} // namespace
