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
    const auto& t = win32::progressDialog;
    const auto n = [](int value) { return std::to_string(value); };
    const auto box = [&](int x, int y, int w, int h) { return n(x) + ",\\s*" + n(y) + ",\\s*" + n(w) + ",\\s*" + n(h); };
    for (const std::string& line :
         {"#define IDD_PROGRESS\\s+" + n(t.id), "#define IDC_PROGRESS\\s+" + n(t.bar.id),
          "#define IDC_CANCEL\\s+" + n(t.cancel.id), "IDD_PROGRESS\\s+DIALOG\\s+" + box(0, 0, t.width, t.height),
          "CAPTION \"" + std::string(t.caption) + "\"", "FONT " + n(t.pointSize) + ", \"" + std::string(t.font) + "\"",
          "\"msctls_progress32\",\\s*WS_BORDER,\\s*" + box(t.bar.x, t.bar.y, t.bar.width, t.bar.height),
          "PUSHBUTTON \"" + std::string(t.cancel.text) + "\",\\s*IDC_CANCEL,\\s*" +
              box(t.cancel.x, t.cancel.y, t.cancel.width, t.cancel.height)})
        EXPECT_TRUE(std::regex_search(rc, std::regex(line))) << line;
    // 428 x 74 units make a 642 x 120 pixel window at the template's font.
    EXPECT_EQ(642, win32::dialogUnitsToPixelsX(t.width));
    EXPECT_EQ(120, win32::dialogUnitsToPixelsY(t.height));
}

TEST(ProgressWindow, IsNotOpenedWithoutADisplay) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(nullptr, win32::ProgressWindow::open());
}

}  // namespace
