// The live view on a Windows console: the frame that redraws the window
// never writes into its last column, where the console would move on to the
// next line at once and push the view up, and keeps whole every row that
// the view laid out for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/zvEacDevicesView.h"
#include "hal/mcu/windows/icWinScreen.h"

namespace {

struct Window {
    U16 rows;
    U16 columns;
};

class WinScreenFrame : public testing::TestWithParam<Window> {};

TEST_P(WinScreenFrame, LeavesTheLastColumnAndKeepsEveryRowWhole) {
    const Window window = GetParam();
    ZvEacDeviceTable table;
    const std::vector<U8> locked{0xA3, 0x02};
    table.presence(1'000'000, 3, true);
    table.takeTelegram(1'000'000, 3, 0, 2, locked.data());
    ZvEacViewOptions options;
    options.rows = window.rows;
    options.columns = icWinScreenViewColumns(window.columns);
    const std::vector<IcScreenLine> lines = zvEacDevicesViewLines(table, options);

    const std::string frame = icWinScreenFrame(lines, window.rows, window.columns);
    ASSERT_EQ(frame.rfind("\x1b[H", 0), 0U);
    std::vector<std::string> shown(1);
    for (std::size_t i = 3; i < frame.size(); ++i) {
        if (frame[i] == '\x1b') {
            i = frame.find_first_of("HJKhlm", i);  // the end of the sequence
        } else if (frame.compare(i, 2, "\r\n") == 0) {
            shown.emplace_back();
            ++i;
        } else {
            shown.back() += frame[i];
        }
    }
    ASSERT_EQ(shown.size(), window.rows);
    for (std::size_t row = 0; row < shown.size(); ++row) {
        EXPECT_LT(shown[row].size(), window.columns) << shown[row];
        std::string laidOut;
        for (const IcScreenSpan& span : row < lines.size() ? lines[row] : IcScreenLine{}) {
            laidOut += span.text;
        }
        EXPECT_EQ(shown[row], laidOut);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, WinScreenFrame,
                         testing::Values(Window{25, 80}, Window{20, 100}, Window{6, 120}, Window{40, 200}));

}  // namespace
