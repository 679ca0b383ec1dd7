#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Text, Utf16ConversionKeepsPortugueseAndSurrogatePairs) {
  using platform::Utf16ToUtf8;
  using platform::Utf8ToUtf16;
  const std::string texts[] = {"Não foram detectadas incosistências", "ação €", "𝄞 clave", ""};
  for (const std::string& text : texts) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("ã"), u"ã");
  EXPECT_EQ(Utf8ToUtf16("𝄞").size(), 2u);
  // Broken input becomes U+FFFD instead of being dropped or read past.
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE3\x28z"), u"\uFFFD(z");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
  // Code points are counted as they are decoded: one per malformed byte.
  EXPECT_EQ(platform::CharCount("ação"), 4u);
  EXPECT_EQ(platform::CharCount("\xE3\x81z"), 3u);
}

TEST(Text, TrimRemovesSpacesOnlyAndCaseIgnoresAsciiLettersOnly) {
  EXPECT_EQ(platform::Trim("  a b  "), "a b");
  EXPECT_EQ(platform::Trim("\t a \n"), "\t a \n");
  EXPECT_EQ(platform::Trim("    "), "");
  EXPECT_EQ(platform::Trim("\t a \n", " \t\n"), "a");
  EXPECT_EQ(platform::Lower("DataSys ÇÃ"), "datasys ÇÃ");
  EXPECT_TRUE(platform::EqualsIgnoringCase("DATETIME", "datetime"));
  EXPECT_FALSE(platform::EqualsIgnoringCase("datetime", "datetime2"));
  EXPECT_FALSE(platform::EqualsIgnoringCase("Ç", "ç"));
}
