// The paper tray travels with each job as a spooler option; a PDF file, which
// has no spooler, keeps printing with options set.

#include "platform/print/QtPrintDevice.h"
#include "tests/app/main/MainTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

TEST(MainPrintTray, JobOptionsAreKeptAndDoNotDisturbAPdfFile)
{
    maintest::EnsureApplication();
    testsupport::TempDir dir;
    const std::string pdf = (dir / "tray.pdf").string();
    auto device = print::QtPrintDevice::ForPdf(pdf, 600);
    device->SetJobOptions({{"media-source", "tray-2"}});
    EXPECT_EQ(device->JobOptions(), (std::vector<std::pair<std::string, std::string>>{{"media-source", "tray-2"}}));
    device->BeginDoc();
    device->TextOut(100, 100, "tray", print::FontSpec{"Arial", 10, 0});
    device->EndDoc();
    EXPECT_TRUE(std::filesystem::exists(pdf));
    device->SetJobOptions({});
    EXPECT_TRUE(device->JobOptions().empty());
}

}  // namespace
