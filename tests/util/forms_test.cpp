#include <gtest/gtest.h>

#include <memory>

#include "error_number.h"
#include "fake_toolkit.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::Variant;
using platform::WindowHandle;
using testsupport::FakeToolkit;

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetToolkit(toolkit_); }
  void TearDown() override { platform::SetToolkit(nullptr); }

  WindowHandle Add(const std::string& name, const std::string& type, WindowHandle container = 0,
                   int tab_index = -1) {
    const WindowHandle control = toolkit_->Add(form_, name, type, container);
    if (tab_index >= 0) toolkit_->Member(control, "TabIndex") = Variant(static_cast<std::int16_t>(tab_index));
    return control;
  }
  bool Enabled(WindowHandle control) { return toolkit_->Member(control, "Enabled").ToBool(); }

  std::shared_ptr<FakeToolkit> toolkit_ = std::make_shared<FakeToolkit>();
  WindowHandle form_ = toolkit_->AddForm("frmDados");
};

TEST_F(FormsTest, EnableFrameSparesTaggedNamedAndNestedControls) {
  const WindowHandle frame = Add("fraDados", "Frame");
  const WindowHandle text = Add("txtNome", "TextBox", frame);
  const WindowHandle tagged = Add("txtFixo", "TextBox", frame);
  toolkit_->Member(tagged, "Tag") = Variant("0");
  const WindowHandle close = Add("CmdFechar", "CommandButton", frame);
  const WindowHandle cancel = Add("cmdCancelar", "CommandButton", frame);
  const WindowHandle nested = Add("fraOutro", "Frame", frame);
  const WindowHandle inner = Add("txtDentro", "TextBox", nested);
  const WindowHandle outside = Add("txtFora", "TextBox");

  SharedEDiv().EnableFrame(form_, frame, false, false);
  EXPECT_FALSE(Enabled(text));
  for (WindowHandle spared : {tagged, close, cancel, nested, inner, outside}) EXPECT_TRUE(Enabled(spared));

  SharedEDiv().EnableFrame(form_, frame, false);  // descends by default
  EXPECT_FALSE(Enabled(inner));
  EXPECT_TRUE(Enabled(nested)) << "a frame itself is not changed";
}

TEST_F(FormsTest, EnableControlContainerEnablesTheChainBelowTheForm) {
  const WindowHandle outer = Add("fraFora", "Frame");
  const WindowHandle middle = Add("fraMeio", "Frame", outer);
  const WindowHandle text = Add("txtNome", "TextBox", middle);
  for (WindowHandle control : {outer, middle, text}) toolkit_->Member(control, "Enabled") = Variant(false);
  SharedEDiv().EnableControlContainer(form_, text);
  EXPECT_TRUE(Enabled(text));
  EXPECT_TRUE(Enabled(middle));
  EXPECT_FALSE(Enabled(outer)) << "it sits on the form";
}

TEST_F(FormsTest, FirstAndLastUsableField) {
  const WindowHandle label = toolkit_->Add(form_, "lblNome", "Label");  // no TabIndex: never asked
  static_cast<void>(label);
  const WindowHandle zero = Add("txtZero", "TextBox", 0, 0);
  const WindowHandle a = Add("txtA", "TextBox", 0, 3);
  const WindowHandle tie = Add("evalB", "TextBox", 0, 3);
  const WindowHandle b = Add("evalC", "TextBox", 0, 7);
  const WindowHandle off = Add("txtOff", "TextBox", 0, 9);
  toolkit_->Member(off, "Enabled") = Variant(false);
  const WindowHandle tagged = Add("txtTag", "TextBox", 0, 8);
  toolkit_->Member(tagged, "Tag") = Variant("0");
  const EDiv& ediv = SharedEDiv();
  struct Case {
    int from, to, which;
    const char* prefixes;
    WindowHandle expected;
  };
  for (const Case& c :
       {Case{0, 20, 1, "txteva", zero}, Case{0, 20, 2, "txteva", b}, Case{1, 5, 1, "evatxt", a},
        Case{1, 5, 2, "evatxt", a}, Case{1, 5, 2, "eva", tie}, Case{0, 0, 2, "txt", 0}, Case{0, 20, 1, "", 0},
        Case{0, 20, 1, "Txt", 0}, Case{0, 20, 3, "txt", 0}}) {
    SCOPED_TRACE(testing::Message() << c.from << ".." << c.to << " " << c.which << " " << c.prefixes);
    EXPECT_EQ(ediv.GetControlDisponivel(form_, static_cast<std::int16_t>(c.from),
                                        static_cast<std::int16_t>(c.to), c.which, c.prefixes),
              c.expected);
  }
}

TEST_F(FormsTest, CenterFormOnTheScreenAndOnAParent) {
  const WindowHandle child = toolkit_->AddForm("frmFilho");
  const WindowHandle parent = toolkit_->AddForm("frmPai");
  auto place = [this](WindowHandle form, int left, int top, int width, int height) {
    toolkit_->Member(form, "Left") = Variant(left);
    toolkit_->Member(form, "Top") = Variant(top);
    toolkit_->Member(form, "Width") = Variant(width);
    toolkit_->Member(form, "Height") = Variant(height);
  };
  place(child, 0, 0, 3001, 2000);
  SharedEDiv().CenterForm(child);
  EXPECT_EQ(toolkit_->Member(child, "Top"), Variant((1024 * 15) / 2.0 - 1000));
  EXPECT_EQ(toolkit_->Member(child, "Left"), Variant(1280 * 15 / 2.0 - 1500.5)) << "halves are not rounded";

  place(parent, 600, 300, 6000, 1500);
  SharedEDiv().CenterForm(child, parent);
  EXPECT_EQ(toolkit_->Member(child, "Top"), Variant(300.0)) << "taller than its parent: tops level";
  EXPECT_EQ(toolkit_->Member(child, "Left"), Variant(3000 - 1500.5 + 600));
}

TEST_F(FormsTest, FormAlwaysOnTopUsesTheRememberedPositionInPixels) {
  toolkit_->settings["tavinor|frmDados|X"] = "1500";
  toolkit_->settings["tavinor|frmDados|Y"] = "29";
  SharedEDiv().FormAlwaysOnTop(form_);
  toolkit_->twips_per_pixel = 0.4;  // rounds to 0: the division fails and the position stays 0
  SharedEDiv().FormAlwaysOnTop(form_);
  EXPECT_EQ(toolkit_->log,
            (std::vector<std::string>{"PlaceOnTop frmDados 100 1", "PlaceOnTop frmDados 0 0"}));
}

TEST_F(FormsTest, NumericBoxesAreConfiguredByPrefixOrName) {
  std::vector<WindowHandle> boxes;
  for (const char* name : {"evalPreco", "evalTotal", "deciTaxa", "eintQtd", "eintDias", "txtNome"}) {
    const WindowHandle box = Add(name, "TextBox");
    for (const char* member : {"Decimais", "Comprimento", "Minimo", "Maximo", "Valor"}) {
      toolkit_->Member(box, member) = Variant(-1);
    }
    boxes.push_back(box);
  }
  const EDiv& ediv = SharedEDiv();
  ediv.SetCasasDecimaisEmValores(form_, 3);
  ediv.SetCasasDecimaisEmDecimais(form_, 4, "deciTaxa");
  ediv.SetMinMaxEmInteiros(form_, 1, 99, true, "eintDias");
  ediv.SetMinMaxEmInteiros(form_, 5, 10, false);
  auto member = [this](WindowHandle box, const char* name) { return toolkit_->Member(box, name).ToLong(); };
  EXPECT_EQ(member(boxes[0], "Decimais"), 3);
  EXPECT_EQ(member(boxes[1], "Comprimento"), 18);
  EXPECT_EQ(member(boxes[2], "Decimais"), 4);
  EXPECT_EQ(member(boxes[5], "Decimais"), -1);
  EXPECT_EQ(member(boxes[4], "Valor"), 1) << "set to the minimum, then left alone";
  EXPECT_EQ(member(boxes[4], "Minimo"), 5);
  EXPECT_EQ(member(boxes[3], "Valor"), -1);

  Add("evalSemProps", "TextBox");  // a value box that lacks the members
  EXPECT_EQ(testsupport::ErrorNumber([&] { ediv.SetCasasDecimaisEmValores(form_, 2, "Todos"); }),
            platform::kErrMemberNotSupported);
  EXPECT_EQ(member(boxes[0], "Decimais"), 2) << "what was set stays set";
  EXPECT_NO_THROW(ediv.SetMinMaxEmInteiros(form_, 0, 1, true, "evalSemProps"));
}

TEST_F(FormsTest, ControlArraysAnswerTheirIndex) {
  const WindowHandle element = Add("lblX", "Label");
  toolkit_->Member(element, "Index") = Variant(std::int16_t{0});
  EXPECT_TRUE(SharedEDiv().ControlIsArray(element));
  EXPECT_FALSE(SharedEDiv().ControlIsArray(Add("lblY", "Label")));
}

TEST_F(FormsTest, CheckSumJoinsTheValuesOfTheKnownKinds) {
  const std::pair<const char*, const char*> controls[] = {
      {"txtNome", "Ana"}, {"evalPreco", "12.5"},    {"optSim", "True"},
      {"chkAtivo", "1"},  {"edatData", "20260102"}, {"eselPais", "PT"},
      {"imgFoto", "77"},  {"lblNada", "x"},         {"TXTMaior", "B"}};
  const char* members[] = {"Text",  "Valor",   "Value",   "Value", "ConteudoAMD",
                           "Chave", "Picture", "Caption", "Text"};
  int i = 0;
  for (const auto& [name, value] : controls) toolkit_->Member(Add(name, "X"), members[i++]) = Variant(value);
  const EDiv& ediv = SharedEDiv();
  EXPECT_EQ(ediv.CreateCheckSumForm(form_, "zzz"), "Ana12.5True120260102PT77B");
  EXPECT_EQ(ediv.CreateCheckSumForm(form_, " Txt , img"), "12.5True120260102PT");
  EXPECT_EQ(ediv.CreateCheckSumForm(form_, ""), "");
  EXPECT_EQ(ediv.CreateCheckSumForm(form_, "zzz,"), "") << "an empty piece leaves every control out";

  // A box without a value (a selection box with nothing chosen) joins nothing,
  // as Null does in a text concatenation.
  toolkit_->Member(Add("eselVazio", "X"), "Chave") = Variant::Null();
  EXPECT_EQ(ediv.CreateCheckSumForm(form_, "zzz"), "Ana12.5True120260102PT77B");
}

}  // namespace
