#include "platform/print/Cups.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
// Points CUPS at a server that does not exist and at an empty home folder.
void IsolateCups(const testsupport::TempDir& dir)
{
    setenv("CUPS_SERVER", (dir.str() + "/no-such-cups.sock").c_str(), 1);
    setenv("HOME", dir.str().c_str(), 1);
    setenv("CUPS_NO_LPOPTIONS", "1", 1);
}
}  // namespace

TEST(Cups, WithoutAServerThereAreNoPrintersAndNoDefault)
{
    testsupport::TempDir dir;
    IsolateCups(dir);
    EXPECT_TRUE(print::PrinterNames().empty());
    EXPECT_EQ(print::DefaultPrinterName(), "");
}

