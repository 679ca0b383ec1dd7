#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "util/ediv.h"

namespace {

using platform::Variant;

// Runs each test with LC_ALL naming the locale under test, and restores the
// environment afterwards.
class EDivLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("LC_ALL")) saved_ = old;
  }
  void TearDown() override {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }
  static void Use(const char* name) { setenv("LC_ALL", name, 1); }

  // True when `name` is installed, generating it from the locale sources when
  // they are there (the Debian package "locales") and we may write.
  static bool Available(const char* name, const char* source, const char* charset) {
    auto installed = [name] {
      locale_t probe = newlocale(LC_ALL_MASK, name, nullptr);
      if (probe != nullptr) freelocale(probe);
      return probe != nullptr;
    };
    if (installed()) return true;
    const std::string generate =
        std::string("localedef -i ") + source + " -f " + charset + " " + name + " >/dev/null 2>&1";
    return std::system(generate.c_str()) == 0 && installed();
  }

  struct Case {
    std::int32_t code;
    Variant expected;
  };
  static void Check(const char* locale, std::initializer_list<Case> cases) {
    for (const auto& c : cases) {
      EXPECT_EQ(SharedEDiv().Get_locale(c.code), c.expected) << locale << " item 0x" << std::hex << c.code;
    }
  }

 private:
  std::optional<std::string> saved_;
};

const Variant kEmpty;

TEST_F(EDivLocaleTest, ItemsOfTheCLocale) {
  Use("C");
  Check("C", {
                 {0x1F, Variant("MM/dd/yy")},
                 // The date and time pattern without its time of day.
                 {0x20, Variant("ddd MMM d yyyy")},
                 {0x1003, Variant("HH:mm:ss")},
                 {0x1D, Variant("/")},
                 {0x1E, Variant(":")},
                 {0x21, Variant("0")},
                 {0x22, Variant("0")},
                 {0x23, Variant("1")},
                 {0x0E, Variant(".")},
                 {0x0F, Variant("")},
                 {0x10, Variant("0")},
                 {0x28, Variant("AM")},
                 {0x29, Variant("PM")},
                 // The classic day items start on Monday.
                 {0x2A, Variant("Monday")},
                 {0x30, Variant("Sunday")},
                 {0x31, Variant("Mon")},
                 {0x38, Variant("January")},
                 {0x4F, Variant("Dec")},
                 {0x100C, Variant("6")},
                 {0x0D, Variant("0")},
                 // The C locale leaves the money numbers undefined.
                 {0x19, kEmpty},
                 {0x1B, kEmpty},
                 {0x54, kEmpty},
                 // Codes outside the table, and the "return a number" flag, which
                 // asks for a binary answer.
                 {0, kEmpty},
                 {0x0C, kEmpty},
                 {0x9999, kEmpty},
                 {0x2000001F, kEmpty},
                 {-1, kEmpty},
                 // "No user override" changes nothing.
                 {static_cast<std::int32_t>(0x8000001FU), Variant("MM/dd/yy")},
             });
}

TEST_F(EDivLocaleTest, ItemsOfEuropeanPortuguese) {
  if (!Available("pt_PT.UTF-8", "pt_PT", "UTF-8")) GTEST_SKIP() << "pt_PT.UTF-8 is not installed";
  Use("pt_PT.UTF-8");
  Check("pt_PT.UTF-8", {
                           {0x1F, Variant("dd/MM/yyyy")},
                           {0x20, Variant("ddd dd MMM yyyy")},
                           {0x1003, Variant("HH:mm:ss")},
                           {0x1D, Variant("/")},
                           {0x21, Variant("1")},
                           {0x22, Variant("1")},
                           {0x23, Variant("1")},
                           {0x0E, Variant(",")},
                           {0x14, Variant("€")},
                           {0x15, Variant("EUR")},
                           {0x16, Variant(",")},
                           {0x18, Variant("3;0")},
                           {0x19, Variant("2")},
                           // The symbol after the amount, a space between: "1 €".
                           {0x1B, Variant("3")},
                           {0x54, Variant("0")},
                           {0x55, Variant("1")},
                           {0x51, Variant("-")},
                           {0x2A, Variant("segunda")},
                           {0x30, Variant("domingo")},
                           {0x38, Variant("janeiro")},
                           {0x44, Variant("jan")},
                           {0x59, Variant("pt")},
                           {0x5A, Variant("PT")},
                           {0x04, Variant("português")},
                           {0x08, Variant("Portugal")},
                           {0x05, Variant("351")},
                           {0x100C, Variant("0")},
                           {0x0D, Variant("0")},
                           {0x9999, kEmpty},
                       });
}

TEST_F(EDivLocaleTest, ALocaleThatIsNotInstalledReadsAsC) {
  Use("xx_YY.UTF-8");
  EXPECT_EQ(SharedEDiv().Get_locale(0x1F), Variant("MM/dd/yy"));
}

TEST_F(EDivLocaleTest, SetLocaleIsRefusedAndChangesNothing) {
  Use("C");
  EXPECT_FALSE(SharedEDiv().Set_locale(0x0E, ","));
  EXPECT_EQ(SharedEDiv().Get_locale(0x0E), Variant("."));
}

}  // namespace
