// The message-only window: queued posts, replaced window procedures, and
// messages to a window that is gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "platform/api/GlobalMemory.h"
#include "platform/api/MessageWindow.h"
#include "support/TestApplication.h"

namespace {

struct Seen {
    win::HWND window;
    win::UINT message;
    win::WPARAM wParam;
    win::LPARAM lParam;
};
std::vector<Seen> seen;
win::LONG_PTR previous = 0;

win::LRESULT Recording(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
    seen.push_back({window, message, wParam, lParam});
    if (message == 0x401) return win::CallWindowProcA(previous, window, message, wParam, lParam);
    return 7;
}

class MessageWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        seen.clear();
        window = win::CreateWindowExA(0, "STATIC", "SOCKET_WINDOW", 0, 0, 0, 0, 0, 0, 0, win::ProgramInstance(), nullptr);
        ASSERT_NE(window, 0);
        previous = win::SetWindowLongA(window, win::GWL_WNDPROC, reinterpret_cast<win::LONG_PTR>(&Recording));
        ASSERT_NE(previous, 0);
    }
    void TearDown() override { win::DestroyWindow(window); }
    win::HWND window = 0;
};

TEST_F(MessageWindowTest, PostedMessagesWaitForTheLoopAndArriveInOrder) {
    ASSERT_EQ(win::PostMessageA(window, 0xC123, 5, win::MAKELONG(2, 10061)), win::TRUE_);
    ASSERT_EQ(win::PostMessageA(window, 0xC124, 6, 0), win::TRUE_);
    EXPECT_TRUE(seen.empty()) << "a post is never delivered at once";
    QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, 0xC123u);
    EXPECT_EQ(seen[0].wParam, 5u);
    EXPECT_EQ(seen[0].lParam & 0xFFFF, 2);
    EXPECT_EQ((seen[0].lParam >> 16) & 0xFFFF, 10061);
    EXPECT_EQ(seen[1].message, 0xC124u);
}

TEST_F(MessageWindowTest, PreviousProcedureIsCalledOnAndCanBePutBack) {
    EXPECT_EQ(platform::DeliverWindowMessage(window, 0x401, 0, 0), true);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(win::SetWindowLongA(window, win::GWL_WNDPROC, previous), reinterpret_cast<win::LONG_PTR>(&Recording));
    win::PostMessageA(window, 0x402, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.size(), 1u) << "the static window's own procedure takes it now";
}

TEST_F(MessageWindowTest, MessagesToADestroyedWindowAreDropped) {
    win::PostMessageA(window, 0x402, 1, 0);
    EXPECT_EQ(win::DestroyWindow(window), win::TRUE_);
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(win::PostMessageA(window, 0x402, 1, 0), win::FALSE_);
    EXPECT_EQ(win::IsWindow(window), win::FALSE_);
    EXPECT_EQ(win::DestroyWindow(window), win::FALSE_);
    const win::HWND next = win::CreateWindowExA(0, "STATIC", "SOCKET_WINDOW", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    EXPECT_NE(next, window) << "a new window never takes an old handle";
    win::DestroyWindow(next);
}

TEST(RegisterWindowMessageTest, OneNumberPerNameWhateverItsCase) {
    const win::UINT socket = win::RegisterWindowMessageA("Quarnel.WinsockMessage");
    const win::UINT resolve = win::RegisterWindowMessageA("Quarnel.ResolveMessage");
    EXPECT_GE(socket, 0xC000u);
    EXPECT_NE(socket, resolve);
    EXPECT_EQ(win::RegisterWindowMessageA("quarnel.winsockmessage"), socket);
    EXPECT_EQ(win::RegisterWindowMessageA(""), 0u);
}

TEST(GlobalMemoryTest, FixedBlockKeepsItsAddressAndIsFreedOnce) {
    const std::size_t before = platform::GlobalBlocksInUse();
    const win::HGLOBAL block = win::GlobalAlloc(win::GMEM_FIXED, 1024);
    ASSERT_GT(block, 0);
    auto* bytes = static_cast<unsigned char*>(win::GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1023], 0);
    win::GlobalUnlock(block);
    EXPECT_EQ(win::GlobalLock(block), bytes);
    EXPECT_EQ(win::GlobalSize(block), 1024u);
    EXPECT_EQ(platform::GlobalBlocksInUse(), before + 1);
    EXPECT_EQ(win::GlobalFree(block), 0);
    EXPECT_EQ(win::GlobalFree(block), block) << "a second free names no block";
    EXPECT_EQ(win::GlobalLock(block), nullptr);
    EXPECT_EQ(platform::GlobalBlocksInUse(), before);
}

}  // namespace
