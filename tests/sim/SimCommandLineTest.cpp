#include "sim/SimCommandLine.h"

#include <gtest/gtest.h>

using sim::parseSimCommandLine;
using sim::SimCommandLine;

TEST(SimCommandLine, OptionsAndDefaults) {
    SimCommandLine line;
    std::string error;
    ASSERT_TRUE(parseSimCommandLine({}, &line, &error));
    EXPECT_EQ(line.chipName, "EN25T80");
    EXPECT_EQ(line.firmware.pacing.bytesPerSecond, 1'216'000u);
    EXPECT_FALSE(line.help);

    ASSERT_TRUE(
        parseSimCommandLine({"--chip", "W25Q32", "--image=chip.bin", "--rate", "0", "--erase-ms",
                             "800", "--page-us=700", "--seed", "42", "--stall-after-bytes", "4096",
                             "--drop-answer-at", "3", "--late-answer-rate", "0.25", "--empty"},
                            &line, &error))
        << error;
    EXPECT_EQ(line.chipName, "W25Q32");
    EXPECT_EQ(line.imagePath, "chip.bin");
    EXPECT_EQ(line.firmware.pacing.bytesPerSecond, 0u);
    EXPECT_EQ(line.firmware.pacing.eraseMs, 800u);
    EXPECT_EQ(line.firmware.pacing.pageProgramUs, 700u);
    EXPECT_EQ(line.firmware.faults.seed, 42u);
    EXPECT_EQ(line.firmware.faults.stallAfterDataBytes, 4096u);
    EXPECT_EQ(line.firmware.faults.dropAnswer.atCommand, 3u);
    EXPECT_DOUBLE_EQ(line.firmware.faults.lateAnswer.probability, 0.25);
    EXPECT_TRUE(line.emptySocket);
}

TEST(SimCommandLine, BadInputIsNamedAndChangesNothing) {
    SimCommandLine line;
    line.chipName = "KEPT";
    std::string error;
    EXPECT_FALSE(parseSimCommandLine({"--rate", "fast"}, &line, &error));
    EXPECT_EQ(error, "invalid value for --rate: \"fast\"");
    EXPECT_FALSE(parseSimCommandLine({"--chip"}, &line, &error));
    EXPECT_EQ(error, "--chip needs a value");
    EXPECT_FALSE(parseSimCommandLine({"--bogus"}, &line, &error));
    EXPECT_EQ(error, "unknown option: --bogus (see --help)");
    EXPECT_FALSE(parseSimCommandLine({"--drop-answer-rate", "1.5"}, &line, &error));
    EXPECT_FALSE(parseSimCommandLine({"--disconnect-at-command", "0"}, &line, &error));
    EXPECT_FALSE(parseSimCommandLine({"--erase-ms", "-1"}, &line, &error));
    EXPECT_EQ(line.chipName, "KEPT");

    ASSERT_TRUE(parseSimCommandLine({"--help"}, &line, &error));
    EXPECT_TRUE(line.help);
    EXPECT_NE(sim::simUsage().find("--chip NAME"), std::string::npos);
}
