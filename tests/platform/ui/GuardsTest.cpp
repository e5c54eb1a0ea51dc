#include "platform/ui/WaitCursor.h"
#include "platform/ui/WebPage.h"

#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(WaitCursorTest, HourglassComesBackOnEveryPath) {
    testsupport::EnsureQtApp();
    EXPECT_FALSE(ui::WaitCursorShowing());
    {
        ui::WaitCursor wait;
        EXPECT_TRUE(ui::WaitCursorShowing());
        {
            ui::WaitCursor nested;
            EXPECT_TRUE(ui::WaitCursorShowing());
        }
        EXPECT_TRUE(ui::WaitCursorShowing());
    }
    EXPECT_FALSE(ui::WaitCursorShowing());

    EXPECT_THROW(
        {
            ui::WaitCursor wait;
            throw std::runtime_error("failed half way");
        },
        std::runtime_error);
    EXPECT_FALSE(ui::WaitCursorShowing());

    ui::WaitCursor early;
    early.Restore();
    EXPECT_FALSE(ui::WaitCursorShowing());
    early.Restore();  // twice is harmless; the destructor must not pop another guard's cursor
    ui::WaitCursor other;
    early.Restore();
    EXPECT_TRUE(ui::WaitCursorShowing());
}

TEST(WebPageTest, OpenerIsReplacedForTheScopeAndPutBack) {
    std::vector<std::string> opened;
    {
        ui::ScopedUrlOpener fake([&opened](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        EXPECT_TRUE(ui::OpenWebPage("mailto:help@example.com?Subject=Sendora Pro"));
        {
            ui::ScopedUrlOpener refusing([](const std::string&) { return false; });
            EXPECT_FALSE(ui::OpenWebPage("https://example.com/"));
        }
        EXPECT_TRUE(ui::OpenWebPage("https://example.com/shipping/trackandconfirm.htm"));
    }
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], "mailto:help@example.com?Subject=Sendora Pro");
    EXPECT_EQ(opened[1], "https://example.com/shipping/trackandconfirm.htm");
    // The desktop opener refuses a text that is no address, without starting anything.
    testsupport::EnsureQtApp();
    EXPECT_FALSE(ui::OpenWebPage("no address at all"));
}

}  // namespace
