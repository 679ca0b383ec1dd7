// The form helpers on real Qt widgets through the Qt toolkit.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <memory>

#include "error_number.h"
#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace {

using platform::HandleOf;
using platform::Toolkit;
using platform::Variant;

// A value box as the applications build it: its members are declared Qt
// properties.
class ValueBox final : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int Decimais MEMBER decimais_)
  Q_PROPERTY(int Comprimento MEMBER comprimento_)
  Q_PROPERTY(double Valor MEMBER valor_)

 public:
  using QLineEdit::QLineEdit;
  int decimais_ = 2;
  int comprimento_ = 0;
  double valor_ = 0;
};

template <typename Control>
Control* Named(Control* control, const char* name) {
  platform::NameControl(control, name);
  return control;
}

TEST(QtForms, EnableFrameReachesTheControlsOnTabPages) {
  QWidget form;
  auto* tabs = Named(new QTabWidget(&form), "tabDados");
  auto* page = new QWidget;  // Qt's page widgets have no name of their own
  tabs->addTab(page, QStringLiteral("Geral"));
  auto* text = Named(new QLineEdit(page), "txtNome");
  auto* close = Named(new QPushButton(page), "cmdFechar");
  auto* frame = Named(new QGroupBox(page), "fraOutro");
  auto* inner = Named(new QLineEdit(frame), "txtDentro");
  EXPECT_EQ(Toolkit().GetMember(HandleOf(text), "Container"), Variant(HandleOf(tabs)));
  EXPECT_EQ(Toolkit().GetMember(HandleOf(inner), "Container"), Variant(HandleOf(frame)));

  SharedEDiv().EnableFrame(HandleOf(&form), HandleOf(tabs), false);
  EXPECT_FALSE(text->isEnabled());
  EXPECT_FALSE(inner->isEnabled());
  EXPECT_TRUE(close->isEnabled());
  EXPECT_TRUE(frame->isEnabled());
  SharedEDiv().EnableFrame(HandleOf(&form), HandleOf(tabs), true);
  EXPECT_TRUE(text->isEnabled());
}

TEST(QtForms, NumericBoxesByDeclaredAndByDynamicProperties) {
  QWidget form;
  auto* declared = Named(new ValueBox(&form), "evalPreco");
  auto* dynamic = Named(new QLineEdit(&form), "evalTotal");
  auto* integers = Named(new QLineEdit(&form), "eintQtd");
  for (const char* name : {"Decimais", "Comprimento"}) dynamic->setProperty(name, 0);
  for (const char* name : {"Minimo", "Maximo", "Valor"}) integers->setProperty(name, 0);

  SharedEDiv().SetCasasDecimaisEmValores(HandleOf(&form), 3);
  SharedEDiv().SetMinMaxEmInteiros(HandleOf(&form), 1, 50);
  EXPECT_EQ(declared->decimais_, 3);
  EXPECT_EQ(declared->comprimento_, 18);
  EXPECT_EQ(dynamic->property("Decimais").toInt(), 3) << "written, and no error after it";
  EXPECT_EQ(dynamic->property("Comprimento").toInt(), 18);
  EXPECT_EQ(integers->property("Maximo").toInt(), 50);
  EXPECT_EQ(integers->property("Valor").toInt(), 1);
  EXPECT_EQ(testsupport::ErrorNumber([&] { Toolkit().SetMember(HandleOf(declared), "Minimo", Variant(1)); }),
            platform::kErrMemberNotSupported);
}

TEST(QtForms, CheckSumFollowsEveryValue) {
  QWidget form;
  auto* text = Named(new QLineEdit(QStringLiteral("Ana"), &form), "txtNome");
  auto* check = Named(new QCheckBox(&form), "chkAtivo");
  auto* option = Named(new QRadioButton(&form), "optSim");
  auto* value = Named(new ValueBox(&form), "evalPreco");
  auto* picture = Named(new QLabel(&form), "imgFoto");
  Named(new QLabel(QStringLiteral("Nome"), &form), "lblNome");
  const std::string before = SharedEDiv().CreateCheckSumForm(HandleOf(&form), "xyz");
  EXPECT_EQ(before, "Ana0False00");
  EXPECT_EQ(SharedEDiv().CreateCheckSumForm(HandleOf(&form), "xyz"), before) << "nothing changed";

  QPixmap red(4, 4);
  red.fill(Qt::red);
  const std::vector<std::function<void()>> changes = {
      [&] { text->setText(QStringLiteral("Ana ")); }, [&] { check->setChecked(true); },
      [&] { option->setChecked(true); }, [&] { value->valor_ = 0.5; }, [&] { picture->setPixmap(red); }};
  std::string last = before;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    changes[i]();
    const std::string now = SharedEDiv().CreateCheckSumForm(HandleOf(&form), "xyz");
    EXPECT_NE(now, last);
    last = now;
  }
  EXPECT_EQ(Toolkit().GetMember(HandleOf(check), "Value"), Variant(std::int16_t{1}));
  Toolkit().SetMember(HandleOf(check), "Value", Variant(std::int16_t{2}));
  EXPECT_EQ(check->checkState(), Qt::PartiallyChecked) << "2 is grey";
}

// Where the window system lets a program place its windows (X11, the offscreen
// platform); Wayland places top-level windows itself and ignores the request.
TEST(QtForms, CenterFormPlacesTheWindowOnTheScreen) {
  QWidget window;
  window.resize(300, 200);
  window.show();
  SharedEDiv().CenterForm(HandleOf(&window));
  const QRect screen = window.screen()->geometry();
  EXPECT_NEAR(window.frameGeometry().center().x(), screen.center().x(), 2);
  EXPECT_NEAR(window.frameGeometry().center().y(), screen.center().y(), 2);
}

// Staying on top is a hint to the window system: under X11 a window manager
// honours it, Wayland does not, and neither lets a program place its own
// top-level window there. What the program can be held to is the hint and the
// position it asks for.
TEST(QtForms, FormAlwaysOnTopAsksForTopAndTheRememberedPlace) {
  QWidget window;
  window.setObjectName(QStringLiteral("frmTopo"));
  window.show();
  const std::string application = Toolkit().ExeName();
  EXPECT_EQ(application, "gui_tests");
  Toolkit().SaveSetting(application, "frmTopo", "X", "1500");
  Toolkit().SaveSetting(application, "frmTopo", "Y", "300");
  SharedEDiv().FormAlwaysOnTop(HandleOf(&window));
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window.isVisible()) << "shown again after the flag changed";
  EXPECT_EQ(window.pos(), QPoint(100, 20));
  Toolkit().SaveSetting(application, "frmTopo", "X", "0");
  Toolkit().SaveSetting(application, "frmTopo", "Y", "0");
}

}  // namespace

#include "qt_forms_test.moc"
