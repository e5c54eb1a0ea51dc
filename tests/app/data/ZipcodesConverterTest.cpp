#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Converter()
{
    const char* source = std::getenv("SENDORA_SOURCE_DIR");
    return std::string(source != nullptr && *source != '\0' ? source : SENDORA_SOURCE_ROOT) +
           "/tools/zipcodes/zipcodes_to_csv.js";
}

}  // namespace

TEST(ZipcodesConverter, KeepsFiveDigitUsZipsSortedAndQuoted)
{
    REQUIRE_TOOLS("node");
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "package" / "lib");
    testsupport::WriteFile(
        dir / "package" / "lib" / "codes.js",
        "exports.codes = {"
        "\"62701\":{\"zip\":\"62701\",\"city\":\"Springfield\",\"state\":\"IL\",\"country\":\"US\"},"
        "\"00501\":{\"zip\":\"00501\",\"city\":\"Holtsville\",\"state\":\"NY\",\"country\":\"US\"},"
        "\"K1A0B1\":{\"zip\":\"K1A0B1\",\"city\":\"Ottawa\",\"state\":\"ON\",\"country\":\"Canada\"},"
        "\"12345\":{\"zip\":\"12345\",\"city\":\"Schenectady, \\\"GE\\\"\",\"state\":\"NY\",\"country\":\"US\"},"
        "\"99999\":{\"zip\":\"99999\",\"city\":\"\",\"state\":\"AK\",\"country\":\"US\"}"
        "};\n");
    const std::string out = (dir / "ZIPCODES.csv").string();
    const auto result = testsupport::RunCommand("node '" + Converter() + "' '" + (dir / "package").string() + "' '" +
                                                out + "' 2>&1");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(testsupport::ReadFile(out),
              "ZIP,City,State\n"
              "00501,Holtsville,NY\n"
              "12345,\"Schenectady, \"\"GE\"\"\",NY\n"
              "62701,Springfield,IL\n");
}

TEST(ZipcodesConverter, MissingPackageFailsWithoutOutput)
{
    REQUIRE_TOOLS("node");
    testsupport::TempDir dir;
    const std::string out = (dir / "ZIPCODES.csv").string();
    const auto result = testsupport::RunCommand("node '" + Converter() + "' '" + (dir / "none").string() + "' '" +
                                                out + "' 2>/dev/null");
    EXPECT_NE(result.status, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
}
