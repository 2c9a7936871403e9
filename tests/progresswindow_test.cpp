// The progress window's layout is the dialog template's in resources/.
#include "platform/progresswindow.h"

#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

namespace {

TEST(ProgressWindow, DrawsTheLayoutOfTheDialogTemplate) {
    const std::string rc = ScratchDir::read(std::string(QVO_SOURCE_DIR) + "/resources/progress.rc");
    ASSERT_FALSE(rc.empty());
    const auto& t = win32::progressDialog;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(IDD_PROGRESS\s+DIALOG\s+0,\s*0,\s*(\d+),\s*(\d+))re")));
    EXPECT_EQ(t.width, std::stoi(m[1]));
    EXPECT_EQ(t.height, std::stoi(m[2]));
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(#define IDD_PROGRESS\s+(\d+))re")));
    EXPECT_EQ(t.id, std::stoi(m[1]));
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(CAPTION "([^"]*)")re")));
    EXPECT_EQ(t.caption, m[1].str());
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(FONT (\d+), "([^"]*)")re")));
    EXPECT_EQ(t.pointSize, std::stoi(m[1]));
    EXPECT_EQ(t.font, m[2].str());
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(#define IDC_PROGRESS\s+(\d+))re")));
    EXPECT_EQ(t.bar.id, std::stoi(m[1]));
    ASSERT_TRUE(std::regex_search(
        rc, m, std::regex(R"re("msctls_progress32",\s*WS_BORDER,\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))re")));
    EXPECT_EQ(t.bar.x, std::stoi(m[1]));
    EXPECT_EQ(t.bar.y, std::stoi(m[2]));
    EXPECT_EQ(t.bar.width, std::stoi(m[3]));
    EXPECT_EQ(t.bar.height, std::stoi(m[4]));
    ASSERT_TRUE(std::regex_search(rc, m, std::regex(R"re(#define IDC_CANCEL\s+(\d+))re")));
    EXPECT_EQ(t.cancel.id, std::stoi(m[1]));
    ASSERT_TRUE(std::regex_search(
        rc, m, std::regex(R"re(PUSHBUTTON "([^"]*)",\s*IDC_CANCEL,\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))re")));
    EXPECT_EQ(t.cancel.text, m[1].str());
    EXPECT_EQ(t.cancel.x, std::stoi(m[2]));
    EXPECT_EQ(t.cancel.y, std::stoi(m[3]));
    EXPECT_EQ(t.cancel.width, std::stoi(m[4]));
    EXPECT_EQ(t.cancel.height, std::stoi(m[5]));
    // 428 x 74 units make a 642 x 120 pixel window at the template's font.
    EXPECT_EQ(642, win32::dialogUnitsToPixelsX(t.width));
    EXPECT_EQ(120, win32::dialogUnitsToPixelsY(t.height));
}

TEST(ProgressWindow, IsNotOpenedWithoutADisplay) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(nullptr, win32::ProgressWindow::open());
}

}  // namespace
