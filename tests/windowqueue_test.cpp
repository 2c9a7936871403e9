// The window core both stand-ins share: which queued message a peek takes,
// what a destroyed window's handle still does, class registration, and the
// DirectDraw library loader. Runs on SDL's dummy video driver.
#include "platform/standin/windowcore.h"
#include "platform/ddraw.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

std::vector<UINT> firstProcSaw, secondProcSaw;
LRESULT firstProc(HWND, UINT message, WPARAM, LPARAM) { return firstProcSaw.push_back(message), 1; }
LRESULT secondProc(HWND, UINT message, WPARAM, LPARAM) { return secondProcSaw.push_back(message), 2; }

HWND openWindow(const char* className) {
    return CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

class WindowQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dummyVideo);
        WNDCLASSA wc{};
        wc.lpfnWndProc = firstProc;
        wc.lpszClassName = "WindowQueueTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        a = openWindow("WindowQueueTest");
        b = openWindow("WindowQueueTest");
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        drain();
    }
    void TearDown() override {
        DestroyWindow(a);
        DestroyWindow(b);
        drain();
    }

    static void drain() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND a = nullptr;
    HWND b = nullptr;
};

TEST_F(WindowQueueTest, PeekTakesTheFirstMessageOfThatWindowAndRange) {
    ASSERT_TRUE(PostMessageA(a, WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(PostMessageA(b, WM_ACTIVATEAPP, 1, 0));
    ASSERT_TRUE(PostMessageA(a, WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostMessageA(b, WM_KEYUP, 'B', 0));

    struct Case {
        HWND window;
        UINT first, last, remove;
        UINT message;  // 0: nothing to take
        HWND from;
    };
    const Case cases[] = {
        {b, 0, 0, PM_NOREMOVE, WM_ACTIVATEAPP, b},        // not removed: seen again below
        {b, WM_KEYDOWN, WM_KEYUP, PM_REMOVE, WM_KEYUP, b},  // skips b's earlier message out of range
        {nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE, WM_CLOSE, a},
        {b, WM_SETCURSOR, WM_SETCURSOR, PM_REMOVE, 0, nullptr},
        {nullptr, 0, 0, PM_REMOVE, WM_KEYDOWN, a},
        {nullptr, 0, 0, PM_REMOVE, WM_ACTIVATEAPP, b},
        {nullptr, 0, 0, PM_REMOVE, 0, nullptr},
    };
    for (const Case& c : cases) {
        MSG m;
        SCOPED_TRACE(c.message);
        ASSERT_EQ(PeekMessageA(&m, c.window, c.first, c.last, c.remove), c.message ? 1 : 0);
        if (!c.message) continue;
        EXPECT_EQ(m.message, c.message);
        EXPECT_EQ(m.hwnd, c.from);
    }
}

TEST_F(WindowQueueTest, ADestroyedWindowLosesItsMessagesAndItsHandleDoesNothing) {
    ASSERT_TRUE(PostMessageA(a, WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_KEYUP, 'T', 0));  // for no window: stays
    ASSERT_TRUE(PostMessageA(b, WM_KEYDOWN, 'B', 0));
    ASSERT_TRUE(DestroyWindow(a));

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, b);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

    EXPECT_FALSE(DestroyWindow(a));
    EXPECT_FALSE(PostMessageA(a, WM_CLOSE, 0, 0));
    EXPECT_FALSE(ShowWindow(a, SW_SHOW));
    MSG stale{};
    stale.hwnd = a;
    stale.message = WM_CLOSE;
    firstProcSaw.clear();
    EXPECT_EQ(DispatchMessageA(&stale), 0);
    EXPECT_TRUE(firstProcSaw.empty());
}

TEST_F(WindowQueueTest, ClassesNeedNameAndProcedureAndALaterOneReplacesTheProcedure) {
    WNDCLASSA nameless{};
    nameless.lpfnWndProc = firstProc;
    WNDCLASSA procedureless{};
    procedureless.lpszClassName = "Procedureless";
    EXPECT_EQ(RegisterClassA(&nameless), 0);
    EXPECT_EQ(RegisterClassA(&procedureless), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);
    EXPECT_EQ(openWindow("Procedureless"), nullptr);
    EXPECT_EQ(openWindow(nullptr), nullptr);

    WNDCLASSA replaced{};
    replaced.lpfnWndProc = secondProc;
    replaced.lpszClassName = "WindowQueueTest";
    ASSERT_NE(RegisterClassA(&replaced), 0);
    HWND c = openWindow("WindowQueueTest");
    ASSERT_NE(c, nullptr);
    MSG m{};
    m.hwnd = c;
    m.message = WM_KEYDOWN;
    secondProcSaw.clear();
    EXPECT_EQ(DispatchMessageA(&m), 2);
    m.hwnd = a;  // made before: keeps the procedure it was made with
    EXPECT_EQ(DispatchMessageA(&m), 1);
    EXPECT_EQ(secondProcSaw, std::vector<UINT>{WM_KEYDOWN});
    DestroyWindow(c);

    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), "IDI_MAIN"), nullptr);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "IDI_OTHER"), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, "IDI_MAIN"), nullptr);
}

TEST(DirectDrawLibrary, OnlyDdrawDllWithItsOneExportAndEachHandleFreedOnce) {
    const int before = ddraw::openLibraryCount();
    EXPECT_EQ(LoadLibraryA("user32.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    HMODULE lib = LoadLibraryA("DDraw.DLL");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(ddraw::openLibraryCount(), before + 1);
    EXPECT_EQ(GetProcAddress(lib, "DirectDrawCreate"), reinterpret_cast<FARPROC>(&DirectDrawCreate));
    EXPECT_EQ(GetProcAddress(lib, "DirectDrawCreateEx"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "DirectDrawCreate"), nullptr);
    EXPECT_TRUE(FreeLibrary(lib));
    EXPECT_EQ(ddraw::openLibraryCount(), before);
    EXPECT_FALSE(FreeLibrary(lib));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace
