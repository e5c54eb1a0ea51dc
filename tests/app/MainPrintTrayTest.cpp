// The paper tray travels with each job as a spooler option; a PDF file, which
// has no spooler, keeps printing with options set.

#include "platform/print/QtPrintDevice.h"
#include "tests/support/TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "tray_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QApplication>(argc, argv);
}

TEST(MainPrintTray, JobOptionsAreKeptAndDoNotDisturbAPdfFile)
{
    EnsureApplication();
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
