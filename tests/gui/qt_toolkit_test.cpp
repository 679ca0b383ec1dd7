#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <memory>

#include "error_number.h"
#include "platform/qt_ui.h"
#include "qstring_print.h"

namespace {

using platform::Error;
using platform::Toolkit;
using platform::Variant;
using platform::WindowHandle;
using testsupport::ErrorNumber;

// What a shown message box looked like.
struct ShownBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::StandardButtons buttons;
  Qt::WindowModality modality = Qt::NonModal;
};

// Shows a message box through QtUi, reads it while it is up and presses OK.
ShownBox ShowAndPressOk(const std::string& text, int style, const std::string& title) {
  ShownBox shown;
  QTimer::singleShot(0, [&shown] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (!box || !box->isVisible()) continue;
      shown = {box->windowTitle(),     box->text(),          box->icon(), box->textFormat(),
               box->standardButtons(), box->windowModality()};
      box->button(QMessageBox::Ok)->click();
    }
  });
  platform::QtUi().MsgBox(text, style, title);
  return shown;
}

TEST(QtUi, MessageBoxesShowTheStyleIconOkOnlyAndTheTitle) {
  struct Case {
    int style;
    QMessageBox::Icon icon;
  };
  for (const Case& c : {Case{0, QMessageBox::NoIcon}, Case{16, QMessageBox::Critical},
                        Case{48, QMessageBox::Warning}, Case{64, QMessageBox::Information}}) {
    SCOPED_TRACE(c.style);
    const ShownBox shown = ShowAndPressOk("18456\rLogin failed for user 'sa'.", c.style, "");
    EXPECT_EQ(shown.icon, c.icon);
    EXPECT_EQ(shown.title, QStringLiteral("Tavinor"));
    EXPECT_EQ(shown.text, QStringLiteral("18456\nLogin failed for user 'sa'."));
    EXPECT_EQ(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(shown.modality, Qt::ApplicationModal);
  }
}

TEST(QtUi, MessageBoxTextIsPlainAndKeepsItsOwnTitle) {
  // A database named like markup is shown as it is written.
  const ShownBox shown = ShowAndPressOk("Processo Terminado!\r\n<b>Parvimar01</b>;", 64, "Outro");
  EXPECT_EQ(shown.format, Qt::PlainText);
  EXPECT_EQ(shown.text, QStringLiteral("Processo Terminado!\n<b>Parvimar01</b>;"));
  EXPECT_EQ(shown.title, QStringLiteral("Outro"));
}

TEST(QtUi, PointerIsProgramWideAndOneDefaultUndoesAnyHourglass) {
  platform::QtUi ui;
  ui.SetMousePointer(platform::kPointerHourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui.SetMousePointer(platform::kPointerHourglass);
  ui.SetMousePointer(13);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
  EXPECT_EQ(ui.MousePointer(), 13);

  ui.SetMousePointer(platform::kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(ui.MousePointer(), platform::kPointerDefault);
  ui.SetMousePointer(platform::kPointerDefault);  // nothing left to undo
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUi, DoEventsRunsWhatIsPending) {
  bool ran = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&ran] { ran = true; }, Qt::QueuedConnection);
  platform::QtUi().DoEvents();
  EXPECT_TRUE(ran);
}

TEST(QtToolkit, ClipboardHoldsTheTextSet) {
  platform::QtToolkit toolkit;
  toolkit.SetClipboardText("Verificações; 1");
  EXPECT_EQ(toolkit.ClipboardText(), "Verificações; 1");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("Verificações; 1"));
}

TEST(QtToolkit, SettingsAreFoundByApplicationSectionAndKey) {
  platform::QtToolkit toolkit;
  const std::string application = "tavinor_settings_test";
  EXPECT_EQ(toolkit.GetSetting(application, "frmTeste", "X", "0"), "0");
  toolkit.SaveSetting(application, "frmTeste", "X", "1440");
  EXPECT_EQ(toolkit.GetSetting(application, "frmTeste", "X", "0"), "1440");
  EXPECT_EQ(toolkit.GetSetting(application, "frmTeste", "Y", "0"), "0");
  EXPECT_EQ(toolkit.GetSetting(application, "frmOutro", "X", "0"), "0");
  EXPECT_EQ(toolkit.GetSetting("outra_aplicacao", "frmTeste", "X", "7"), "7");
  QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tavinor"),
            QString::fromStdString(application))
      .clear();
}

TEST(QtToolkit, ScreenIsMeasuredInTwipsAtItsLogicalResolution) {
  platform::QtToolkit toolkit;
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_EQ(screen->logicalDotsPerInchX(), 96.0) << "the offscreen screen";
  EXPECT_DOUBLE_EQ(toolkit.TwipsPerPixelX(), 15.0);
  EXPECT_DOUBLE_EQ(toolkit.TwipsPerPixelY(), 15.0);
  EXPECT_EQ(toolkit.ScreenWidthTwips(), screen->geometry().width() * 15);
  EXPECT_EQ(toolkit.ScreenHeightTwips(), screen->geometry().height() * 15);
}

// A form as the library's forms are built: a frame holding a text box, a
// two-element label array and a button.
class ToolkitForm : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<QWidget>();
    form_->setObjectName(QStringLiteral("frmTeste"));
    frame_ = new QGroupBox(QStringLiteral("Dados"), form_.get());
    platform::NameControl(frame_, "fraDados");
    platform::SetTwipsGeometry(frame_, 120, 120, 4500, 1500);
    text_ = new QLineEdit(QStringLiteral("abcdef"), frame_);
    platform::NameControl(text_, "txtNome");
    platform::SetTabIndex(text_, 2);
    text_->setProperty("Tag", QStringLiteral("1"));
    platform::SetTwipsGeometry(text_, 120, 240, 1095, 255);
    for (int i = 0; i < 2; ++i) {
      labels_[i] = new QLabel(QStringLiteral("Rótulo %1").arg(i), form_.get());
      platform::NameControl(labels_[i], "lblX", i);
    }
    button_ = new QPushButton(QStringLiteral("&Ok"), form_.get());
    platform::NameControl(button_, "cmdOk");
    platform::SetTabIndex(button_, 0);
  }

  WindowHandle H(QWidget* widget) { return platform::HandleOf(widget); }

  platform::QtToolkit toolkit_;
  std::unique_ptr<QWidget> form_;
  QGroupBox* frame_ = nullptr;
  QLineEdit* text_ = nullptr;
  std::array<QLabel*, 2> labels_{};
  QPushButton* button_ = nullptr;
};

TEST_F(ToolkitForm, ControlsComeInCreationOrderAndAreFoundByNameAndIndex) {
  EXPECT_EQ(toolkit_.ControlsOf(H(form_.get())),
            (std::vector<WindowHandle>{H(frame_), H(text_), H(labels_[0]), H(labels_[1]), H(button_)}));
  EXPECT_EQ(toolkit_.FindControl(H(form_.get()), "LBLX", 1), H(labels_[1]));
  EXPECT_EQ(toolkit_.FindControl(H(form_.get()), "txtnome", std::nullopt), H(text_));
  EXPECT_EQ(ErrorNumber([&] { toolkit_.FindControl(H(form_.get()), "lblX", 2); }),
            platform::kErrNoSuchArrayElement);
  EXPECT_EQ(ErrorNumber([&] { toolkit_.FindControl(H(form_.get()), "txtOutro", std::nullopt); }),
            platform::kErrControlNotFound);
}

TEST_F(ToolkitForm, MembersReadByName) {
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Name"), Variant("txtNome"));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "tag"), Variant("1"));
  EXPECT_EQ(toolkit_.GetMember(H(button_), "Tag"), Variant("")) << "a tag never set reads empty";
  EXPECT_EQ(toolkit_.GetMember(H(text_), "TabIndex"), Variant(std::int16_t{2}));
  EXPECT_EQ(toolkit_.GetMember(H(labels_[1]), "Index"), Variant(std::int16_t{1}));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "hWnd"), Variant(H(text_)));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Container"), Variant(H(frame_)));
  EXPECT_EQ(toolkit_.GetMember(H(button_), "Container"), Variant(H(form_.get())));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Text"), Variant("abcdef"));
  EXPECT_EQ(toolkit_.GetMember(H(labels_[0]), "Caption"), Variant("Rótulo 0"));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "maxLength"), Variant(std::int32_t{32767})) << "a Qt property";

  EXPECT_EQ(toolkit_.TypeName(H(frame_)), "Frame");
  EXPECT_EQ(toolkit_.TypeName(H(text_)), "TextBox");
  EXPECT_EQ(toolkit_.TypeName(H(labels_[0])), "Label");
  EXPECT_EQ(toolkit_.TypeName(H(button_)), "CommandButton");
  EXPECT_EQ(toolkit_.TypeName(H(form_.get())), "frmTeste");
}

TEST_F(ToolkitForm, MissingMembersRaiseTheToolkitsErrors) {
  struct Case {
    QWidget* control;
    const char* member;
    int error;
  };
  for (const Case& c : {Case{text_, "Index", platform::kErrNotAnArray},
                        Case{labels_[0], "Text", platform::kErrMemberNotSupported},
                        Case{labels_[0], "TabIndex", platform::kErrMemberNotSupported},
                        Case{text_, "Decimais", platform::kErrMemberNotSupported},
                        Case{form_.get(), "Container", platform::kErrMemberNotSupported}}) {
    SCOPED_TRACE(c.member);
    EXPECT_EQ(ErrorNumber([&] { toolkit_.GetMember(H(c.control), c.member); }), c.error);
  }
  EXPECT_EQ(ErrorNumber([&] { toolkit_.SetMember(H(text_), "Decimais", Variant(2)); }),
            platform::kErrMemberNotSupported)
      << "writing never creates a member";
  EXPECT_EQ(ErrorNumber([&] { toolkit_.SetMember(H(text_), "hWnd", Variant(7)); }),
            platform::kErrMemberNotSupported);
  EXPECT_EQ(ErrorNumber([&] { toolkit_.SetMember(H(text_), "TabIndex", Variant("dois")); }),
            platform::kErrTypeMismatch);
}

TEST_F(ToolkitForm, HandleOfADestroyedControlNamesNoWindow) {
  const WindowHandle handle = H(button_);
  delete button_;
  EXPECT_EQ(platform::WidgetOf(handle), nullptr);
  EXPECT_EQ(ErrorNumber([&] { toolkit_.GetMember(handle, "Name"); }), platform::kErrObjectRequired);
  EXPECT_EQ(ErrorNumber([&] { toolkit_.SetFocus(handle); }), platform::kErrObjectRequired);
}

TEST_F(ToolkitForm, EnabledIsTheControlsOwnSetting) {
  frame_->setEnabled(false);
  EXPECT_FALSE(text_->isEnabled());
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Enabled"), Variant(true)) << "the frame does not change it";
  EXPECT_EQ(toolkit_.GetMember(H(frame_), "Enabled"), Variant(false));
  toolkit_.SetMember(H(text_), "Enabled", Variant(false));
  frame_->setEnabled(true);
  EXPECT_FALSE(text_->isEnabled());
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Enabled"), Variant(false));
}

TEST_F(ToolkitForm, MembersWrittenByName) {
  toolkit_.SetMember(H(text_), "Text", Variant("novo"));
  toolkit_.SetMember(H(labels_[1]), "Caption", Variant("Outro"));
  toolkit_.SetMember(H(button_), "Tag", Variant(std::int32_t{0}));
  toolkit_.SetMember(H(text_), "MaxLength", Variant("10"));
  toolkit_.SetMember(H(form_.get()), "Caption", Variant("Título"));
  EXPECT_EQ(text_->text(), QStringLiteral("novo"));
  EXPECT_EQ(labels_[1]->text(), QStringLiteral("Outro"));
  EXPECT_EQ(toolkit_.GetMember(H(button_), "Tag"), Variant("0"));
  EXPECT_EQ(text_->maxLength(), 10) << "a Qt property, converted to its kind";
  EXPECT_EQ(form_->windowTitle(), QString::fromUtf8("Título"));

  toolkit_.SetMember(H(text_), "PasswordChar", Variant("#"));
  EXPECT_EQ(text_->displayText(), QStringLiteral("####"));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "PasswordChar"), Variant("#"));
  toolkit_.SetMember(H(text_), "PasswordChar", Variant(""));
  EXPECT_EQ(text_->displayText(), QStringLiteral("novo"));
}

TEST_F(ToolkitForm, GeometryIsInTwips) {
  EXPECT_EQ(text_->geometry(), QRect(8, 16, 73, 17)) << "15 twips to the pixel";
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Left"), Variant(std::int32_t{120}));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Top"), Variant(std::int32_t{240}));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Width"), Variant(std::int32_t{1095}));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "Height"), Variant(std::int32_t{255}));
  toolkit_.SetMember(H(text_), "Width", Variant(1500.0));
  toolkit_.SetMember(H(text_), "Top", Variant(std::int32_t{600}));
  EXPECT_EQ(text_->geometry(), QRect(8, 40, 100, 17));
}

TEST_F(ToolkitForm, SelectionFollowsTheEditControlRules) {
  struct Case {
    int start, end;
    const char* selected;
  };
  for (const Case& c : {Case{0, -1, "abcdef"}, Case{2, 4, "cd"}, Case{4, 99, "ef"}, Case{-1, 3, ""}}) {
    SCOPED_TRACE(::testing::Message() << c.start << ".." << c.end);
    text_->selectAll();
    toolkit_.SetSelection(H(text_), c.start, c.end);
    EXPECT_EQ(text_->selectedText(), QString::fromUtf8(c.selected));
    EXPECT_EQ(toolkit_.GetMember(H(text_), "SelText"), Variant(c.selected));
  }
  toolkit_.SetSelection(H(text_), 2, 2);
  toolkit_.SetMember(H(text_), "SelLength", Variant(std::int32_t{2147483647}));
  EXPECT_EQ(text_->selectedText(), QStringLiteral("cdef")) << "a length past the end stops there";
  toolkit_.SetSelection(H(text_), 1, 3);
  EXPECT_EQ(toolkit_.GetMember(H(text_), "SelStart"), Variant(std::int32_t{1}));
  EXPECT_EQ(toolkit_.GetMember(H(text_), "SelLength"), Variant(std::int32_t{2}));
  toolkit_.SetMember(H(text_), "SelText", Variant("XY"));
  EXPECT_EQ(text_->text(), QStringLiteral("aXYdef"));
  EXPECT_EQ(ErrorNumber([&] { toolkit_.SetSelection(H(labels_[0]), 0, -1); }),
            platform::kErrMemberNotSupported);
}

TEST_F(ToolkitForm, TabIndexOrdersTheFocusChain) {
  platform::SetTabIndex(text_, 9);  // Qt keeps a frame's controls together in the chain
  auto* second = new QLineEdit(form_.get());
  platform::NameControl(second, "txtSegundo");
  platform::SetTabIndex(second, 1);
  auto* third = new QLineEdit(form_.get());
  platform::NameControl(third, "txtTerceiro");
  platform::SetTabIndex(third, 3);
  platform::ApplyTabOrder(form_.get());
  EXPECT_EQ(button_->nextInFocusChain(), second);
  EXPECT_EQ(second->nextInFocusChain(), third);

  toolkit_.SetMember(H(second), "TabIndex", Variant(std::int16_t{5}));
  EXPECT_EQ(button_->nextInFocusChain(), third);
  EXPECT_EQ(third->nextInFocusChain(), second);
}

TEST(QtToolkit, WindowsLoadByNameShowModallyAndUnload) {
  platform::QtToolkit toolkit;
  EXPECT_EQ(ErrorNumber([&] { toolkit.LoadForm("frmNenhum"); }), platform::kErrControlNotFound);
  platform::RegisterForm("frmSimples", [] {
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("frmSimples"));
    return form;
  });
  const WindowHandle form = toolkit.LoadForm("FRMSIMPLES");
  ASSERT_NE(platform::WidgetOf(form), nullptr);
  EXPECT_FALSE(platform::WidgetOf(form)->isVisible());
  // A window that is no dialog is held in a loop of its own until hidden.
  bool shown_modally = false;
  QTimer::singleShot(0, [&] {
    shown_modally = platform::WidgetOf(form)->isVisible() &&
                    QApplication::activeModalWidget() == platform::WidgetOf(form);
    toolkit.Hide(form);
  });
  toolkit.ShowModal(form);
  EXPECT_TRUE(shown_modally);
  toolkit.Unload(form);
  EXPECT_EQ(platform::WidgetOf(form), nullptr);
}

TEST(ToolkitWithoutWindows, EveryCallRaisesObjectRequired) {
  platform::SetToolkit(nullptr);
  EXPECT_EQ(ErrorNumber([] { Toolkit().GetMember(1, "Name"); }), platform::kErrObjectRequired);
  EXPECT_EQ(ErrorNumber([] { Toolkit().GetSetting("a", "b", "c", "d"); }), platform::kErrObjectRequired);
  EXPECT_EQ(ErrorNumber([] { Toolkit().LoadForm("WAlert1"); }), platform::kErrObjectRequired);
  EXPECT_EQ(ErrorNumber([] { Toolkit().SendKey(65, 0); }), platform::kErrObjectRequired);
  platform::InstallQtUi();
  EXPECT_DOUBLE_EQ(Toolkit().TwipsPerPixelX(), 15.0);
}

}  // namespace
