// The window over a simulated CH341A (a brimwick-sim process): the programmer list, identify
// of a chip the database lacks, and the protection and supply questions.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "dialogs/ChipInfoDlg.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"

namespace {

struct PluggedBridge {
    explicit PluggedBridge(std::vector<std::string> args) {
        args.insert(args.begin(), {"--rate", "0", "--bridge", "ch341a", "--chip", "W25Q32"});
        sim = std::make_unique<testsupport::SimProcess>(BRIMWICK_SIM_PROGRAM, folder.path(), args);
    }
    testsupport::SimFolder folder;
    std::unique_ptr<testsupport::SimProcess> sim;
};

std::string text(QLineEdit* edit) {
    return edit->text().toStdString();
}

} // namespace

TEST(BridgeWindow, IdentifyOffersChipEditPrefilledAndSavesOnlyOnOk) {
    for (const Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        PluggedBridge bridge({});
        auto started = startWindow(language);
        CMainDlg& window = *started->window;
        emit window.programmerMenu()->aboutToShow();
        EXPECT_TRUE(window.programmerMenu()->actions()[0]->text().endsWith("CH341A 1a86:5512"));
        for (const bool ok : {false, true}) {
            RecordingSink boxes;
            std::string fields;
            auto ran = whenModal<QDialog>([&](QDialog* modal) {
                auto* dialog = dynamic_cast<CChipInfoDlg*>(modal);
                ASSERT_TRUE(dialog);
                for (int id : {CChipInfoDlg::IdManufacturerId, CChipInfoDlg::IdDeviceId,
                               CChipInfoDlg::IdCapacity, CChipInfoDlg::IdPageSize})
                    fields += text(dialog->edit(id)) + " ";
                dialog->edit(CChipInfoDlg::IdName)->setText("MY25Q32");
                ok ? dialog->accept() : dialog->reject();
            });
            window.action(IdChipIdentify)->trigger();
            EXPECT_TRUE(*ran);
            EXPECT_EQ(fields, "EF 15 4096 256 ");
            EXPECT_EQ(boxes.boxes.at(0).text, formatText(texts.addUnknownChipQuestion, "EF 15"));
            ChipInfo saved{};
            ChipDatabase file(language, started->path("ChipInfo.chip"));
            EXPECT_EQ(file.load() == 1 && file.find(&saved, 1, nullptr, "MY25Q32") == 1 &&
                          window.chipDatabase().find(&saved, 1, nullptr, "MY25Q32") == 1,
                      ok);
        }
        const std::string panel = window.chipInfoEdit()->toPlainText().toStdString();
        EXPECT_NE(panel.find(formatText(texts.panelJedecId, "EF 40 16")), std::string::npos);
        EXPECT_NE(panel.find("SFDP 1."), std::string::npos) << panel;
        EXPECT_EQ(std::string(window.currentChip().name), "MY25Q32");
    }
}

// Over a bridge at 3.3 V a 2.0 V part and a protected chip are erased only after Continue.
TEST(BridgeWindow, SupplyAndProtectionQuestionsStopTheEraseUnlessContinued) {
    for (const Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        PluggedBridge bridge({"--protect", "1C"});
        ChipInfo chip = makeChip(ChipType::Flash25, "W25Q32", 0x400000, 1, 256, 0xEF, 0x15);
        chip.maxVoltage = 20;
        RecordingSink startUpBoxes; // a bridge alone is no failure to open a device
        auto started = startWindow(language, {chip});
        EXPECT_TRUE(startUpBoxes.boxes.empty());
        selectChip(*started->window, chip);
        for (const BoxResult answer : {BoxResult::Cancel, BoxResult::Ok}) {
            RecordingSink boxes;
            boxes.answer = answer;
            started->window->action(IdErase)->trigger();
            std::string shown;
            for (const RecordedBox& box : boxes.boxes)
                shown +=
                    (box.style == BoxStyle::ContinueCancel ? "?" : "!") + box.text.substr(0, 2);
            EXPECT_EQ(shown + text(started->window->statusEdit()),
                      answer == BoxResult::Ok
                          ? "?W2?" + std::string(texts.bridgeProtectedQuestion, 2) + texts.eraseDone
                          : "?W2" + formatText(texts.bridgeLowVoltageBox, "W25Q32"));
        }
    }
}
