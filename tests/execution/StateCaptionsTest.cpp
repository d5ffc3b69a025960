#include "execution/StateCaptions.h"

#include <gtest/gtest.h>

TEST(StateCaptions, BitsLightTheirCaptionsAndByteFiveIsInvertedBelowBitSix) {
    const auto p = captions::Lit<6>(0x05);
    EXPECT_TRUE(p[0]);
    EXPECT_FALSE(p[1]);
    EXPECT_TRUE(p[2]);
    // Board state byte 5: bits 0..5 lit when clear, bits 6 and 7 when set.
    const auto b5 = captions::Lit<8>(0x41, 0x3F);
    EXPECT_FALSE(b5[0]);
    EXPECT_TRUE(b5[1]);
    EXPECT_TRUE(b5[6]);
    EXPECT_FALSE(b5[7]);
    EXPECT_STREQ(captions::kProtectionsEB[5], "Защита по U сети");  // without the leading blank
    EXPECT_STREQ(captions::kProtections73[5], " Защита по U сети");
    EXPECT_STREQ(captions::kBoard1[1], "Reset по  WDT");
}
