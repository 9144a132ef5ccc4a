#include "buffer/ToolReports.h"

#include "res/MessageBox.h"

std::string checksumReport(const Checksums& sums, const Texts& texts) {
    const auto count = static_cast<unsigned>(sums.byteCount);
    const std::string sha = sums.sha256 ? sha256Text(*sums.sha256) : std::string("-");
    return formatText(texts.checksumReport, count, count, crc32Text(sums.crc32).c_str(),
                      sha.c_str(), static_cast<unsigned>(sums.sum8),
                      static_cast<unsigned>(sums.sum16));
}

std::string compareReport(const ByteComparison& comparison, const std::string& fileName,
                          const Texts& texts) {
    std::string text = formatText(texts.compareSummary, fileName.c_str(),
                                  static_cast<unsigned>(comparison.compared),
                                  static_cast<unsigned>(comparison.differing));
    if (comparison.differing == 0)
        return text + texts.compareSame;
    text += texts.compareHeader;
    for (const ByteDifference& diff : comparison.firstDiffs)
        text += formatText("0x%06X  %02X      %02X\n", static_cast<unsigned>(diff.offset),
                           static_cast<unsigned>(diff.buffer), static_cast<unsigned>(diff.file));
    if (comparison.differing > comparison.firstDiffs.size())
        text += formatText(texts.compareMore, static_cast<unsigned>(comparison.differing -
                                                                    comparison.firstDiffs.size()));
    return text;
}
