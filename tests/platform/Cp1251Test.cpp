#include <gtest/gtest.h>
#include <iconv.h>

#include <locale>
#include <string>

#include "platform/Cp1251.h"

using namespace platform;

namespace {

// glibc's own converter, as an outside opinion on the table.
std::string IconvToUtf8(const std::string& in) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
    std::string src = in;
    std::string out(in.size() * 4 + 4, '\0');
    char* ip = src.data();
    char* op = out.data();
    size_t il = src.size(), ol = out.size();
    const size_t rc = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return "<iconv error>";
    out.resize(out.size() - ol);
    return out;
}

}  // namespace

TEST(Cp1251, EveryByteAgreesWithIconvAndSurvivesARoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = Cp1251ToUtf8(one);
        EXPECT_EQ(Utf8ToCp1251(utf8), one) << "byte " << b;
        // 0x98 has no character in the code page; iconv refuses it, we keep it as U+0098.
        if (b == 0x98) {
            EXPECT_EQ(utf8, "\xC2\x98");
        } else {
            EXPECT_EQ(utf8, IconvToUtf8(one)) << "byte " << b;
        }
    }
}

TEST(Cp1251, OperatorTextsBecomeTheStandsBytes) {
    EXPECT_EQ(Utf8ToCp1251("Проверка станции"),
              "\xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0 \xF1\xF2\xE0\xED\xF6\xE8\xE8");
    EXPECT_EQ(Utf8ToCp1251("Ёё№€«»"), "\xA8\xB8\xB9\x88\xAB\xBB");
    EXPECT_EQ(Cp1251ToUtf8("\xC2\xCE\xCB\xD2\xC0\xD0"), "ВОЛТАР");
}

TEST(Cp1251, UnmappableAndMalformedTextBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("A日B"), "A?B");            // outside the code page
    EXPECT_EQ(Utf8ToCp1251("x\xFFy"), "x?y");          // not UTF-8 at all
    EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");              // cut at the end
    EXPECT_EQ(Utf8ToCp1251("\xD0 "), "? ");            // cut in the middle
    EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");         // overlong '/'
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");    // surrogate
    EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // emoji: one character, one mark
    EXPECT_EQ(Utf8ToCp1251(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1251, CaseFoldingMatchesUnicodeLowerCase) {
    const std::locale utf8("C.UTF-8");
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    for (int b = 0; b < 256; ++b) {
        const char32_t c = Cp1251ToUnicode(static_cast<unsigned char>(b));
        const int expected =
            UnicodeToCp1251(static_cast<char32_t>(ctype.tolower(static_cast<wchar_t>(c))));
        EXPECT_EQ(Cp1251ToLower(static_cast<unsigned char>(b)), expected) << "byte " << b;
    }
    EXPECT_TRUE(Cp1251EqualNoCase(Utf8ToCp1251("ВЕРСИЯ Ё"), Utf8ToCp1251("версия ё")));
    EXPECT_FALSE(Cp1251EqualNoCase(Utf8ToCp1251("версия"), Utf8ToCp1251("версиЯЯ")));
}
