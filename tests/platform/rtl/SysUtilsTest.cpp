#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

TEST(Exception, CarriesItsMessage) {
    try {
        throw rtl::EConvertError("'x' is not a valid integer value");
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "'x' is not a valid integer value");
    }
}
