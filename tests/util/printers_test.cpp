#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_printers.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

class EDivPrintersTest : public RecordingUiTest {
 protected:
  void SetUp() override {
    RecordingUiTest::SetUp();
    printers_->printers["Escritorio"] = {9, platform::kOrientationPortrait};
    printers_->printers["Plotter"] = {platform::kPaperUserDefined, platform::kOrientationLandscape};
    platform::SetPrinters(printers_);
  }
  void TearDown() override {
    platform::SetPrinters(nullptr);
    RecordingUiTest::TearDown();
  }
  std::shared_ptr<testsupport::FakePrinters> printers_ = std::make_shared<testsupport::FakePrinters>();
};

TEST_F(EDivPrintersTest, SettingsOfAKnownPrinterAndZerosForAnUnknownOne) {
  struct Case {
    const char* name;
    bool found;
    std::int16_t paper;
    std::int16_t orientation;
  } cases[] = {
      {"Escritorio", true, 9, 1},
      {"Plotter", true, 256, 2},
      // The names are the system's, letter case included.
      {"escritorio", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const auto& c : cases) {
    std::int16_t paper = -7;
    std::int16_t orientation = -7;
    EXPECT_EQ(SharedEDiv().GetPrinterSettings(c.name, 0, paper, orientation), c.found) << c.name;
    EXPECT_EQ(paper, c.paper) << c.name;
    EXPECT_EQ(orientation, c.orientation) << c.name;
  }
  std::int16_t paper = -7;
  EXPECT_TRUE(SharedEDiv().GetPrinterSettings("Plotter", 1234, paper)) << "the orientation may be left out";
  EXPECT_EQ(paper, 256);
  EXPECT_EQ(printers_->asked.back(), "Plotter");
}

TEST_F(EDivPrintersTest, WithoutPrinterServicesNoPrinterIsKnown) {
  platform::SetPrinters(nullptr);
  std::int16_t paper = 9;
  std::int16_t orientation = 1;
  EXPECT_FALSE(SharedEDiv().GetPrinterSettings("Escritorio", 0, paper, orientation));
  EXPECT_EQ(paper, 0);
  EXPECT_EQ(orientation, 0);
}

TEST_F(EDivPrintersTest, PaperListAndTheDiscontinuedOperations) {
  EXPECT_EQ(SharedEDiv().FillListaPrinterPaperSize(),
            "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;");
  // The list is a key-value list: its keys are the paper numbers the printers answer.
  EXPECT_EQ(SharedEDiv().eselChave("256", SharedEDiv().FillListaPrinterPaperSize()), "Definido");

  EXPECT_FALSE(SharedEDiv().SetImpressoraDefault("Escritorio"));
  EXPECT_FALSE(SharedEDiv().SetImpressoraDefault());
  EXPECT_TRUE(printers_->asked.empty()) << "setting the default printer touches no printer";

  EXPECT_EQ(SharedEDiv().FastPSizeofString(platform::Variant(), "texto"), 0);
  // The notice is for developers only: a delivered build shows nothing.
  if (SharedEDiv().ISDesign()) {
    ASSERT_EQ(ui_->boxes.size(), 1u);
    EXPECT_EQ(ui_->boxes[0].text, "Esta Função Foi Descontinuada Desde o Uso do VsPrinter!");
    EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
  } else {
    EXPECT_TRUE(ui_->boxes.empty());
  }
}

TEST(EDivColours, ValuesAreRedGreenBlueFromTheLowByte) {
  auto rgb = [](int r, int g, int b) { return r | (g << 8) | (b << 16); };
  EXPECT_EQ(EDiv::VERDE_ESCURO, rgb(0, 128, 0));
  EXPECT_EQ(EDiv::MAGNENTA, rgb(255, 0, 255));
  EXPECT_EQ(EDiv::CINZENTO, rgb(192, 192, 192));
  EXPECT_EQ(EDiv::BRANCO, rgb(255, 255, 255));
  EXPECT_EQ(EDiv::PRETO, rgb(0, 0, 0));
  EXPECT_EQ(EDiv::AMARELO, rgb(255, 255, 0));
  EXPECT_EQ(EDiv::VERMELHO, rgb(255, 0, 0));
  EXPECT_EQ(EDiv::VERDE, rgb(0, 255, 0));
  EXPECT_EQ(SharedEDiv().AZUL, rgb(0, 0, 192));
}

}  // namespace
