#include "frm_convert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "conversion_statements.h"
#include "platform/main_mod.h"
#include "platform/qt_ui.h"
#include "qstring_print.h"
#include "scripted_driver.h"

namespace {

using platform::Error;
using platform::Toolkit;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

using testsupport::kTypeQuery;
constexpr const char* kListQuery = testsupport::kDatabaseListQuery;

class FrmConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::InstallQtUi();
    window_ = std::make_unique<frmConvert>();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    window_.reset();
    platform::InstallQtUi();
  }

  template <typename T>
  T* Control(const char* name) {
    auto* control = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  // Records the message boxes and pointer changes from here on.
  std::shared_ptr<platform::RecordingUi> RecordUi() {
    auto ui = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui);
    return ui;
  }

  std::unique_ptr<frmConvert> window_;
};

TEST_F(FrmConvertTest, ControlsSitWhereTheLayoutPutsThemInTwips) {
  struct Place {
    const char* name;
    std::optional<int> index;
    int tab_index, left, top, width, height;
    const char* caption;
  };
  const Place places[] = {
      {"Label1", 0, 0, 120, 240, 1095, 255, "Servidor SQL :"},
      {"txtSQLServer", std::nullopt, 1, 1560, 240, 2055, 315, nullptr},
      {"Label1", 1, 2, 120, 600, 1095, 255, "Login :"},
      {"txtSQLLogin", std::nullopt, 3, 1560, 600, 2055, 315, nullptr},
      {"Label1", 2, 4, 120, 960, 1095, 255, "Password :"},
      {"txtSQLPassword", std::nullopt, 5, 1560, 960, 2055, 315, nullptr},
      {"cmdConverter", std::nullopt, 6, 4200, 2400, 1335, 495, "&Converter"},
      {"cmdFechar", std::nullopt, 7, 5640, 2400, 1335, 495, "&Fechar"},
      {"lblConverte", std::nullopt, 8, 120, 1560, 6855, 495, ""},
  };
  const platform::WindowHandle form = platform::HandleOf(window_.get());
  EXPECT_EQ(Toolkit().ControlsOf(form).size(), std::size(places));
  for (const Place& place : places) {
    SCOPED_TRACE(::testing::Message() << place.name << " " << place.index.value_or(-1));
    const platform::WindowHandle control = Toolkit().FindControl(form, place.name, place.index);
    EXPECT_EQ(Toolkit().GetMember(control, "TabIndex"), Variant(static_cast<std::int16_t>(place.tab_index)));
    EXPECT_EQ(Toolkit().GetMember(control, "Left"), Variant(place.left));
    EXPECT_EQ(Toolkit().GetMember(control, "Top"), Variant(place.top));
    EXPECT_EQ(Toolkit().GetMember(control, "Width"), Variant(place.width));
    EXPECT_EQ(Toolkit().GetMember(control, "Height"), Variant(place.height));
    if (place.caption) {
      EXPECT_EQ(Toolkit().GetMember(control, "Caption"), Variant(place.caption));
    } else {
      EXPECT_EQ(Toolkit().GetMember(control, "Text"), Variant("")) << "empty at start";
    }
  }
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Verificações de Estrutura"));
  EXPECT_EQ(window_->size(), QSize(474, 206)) << "7110 x 3090 twips at 15 twips to the pixel";
  EXPECT_EQ(window_->windowIcon().pixmap(16, 16).size(), QSize(16, 16));
}

TEST_F(FrmConvertTest, RendersAtTheClientAreasPixelSize) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString file = folder.filePath(QStringLiteral("frmConvert.png"));
  ASSERT_TRUE(window_->grab().save(file));
  EXPECT_EQ(QImage(file).size(), QSize(474, 206));
}

TEST_F(FrmConvertTest, FocusStartsInTheServerBoxAndTabFollowsTheTabOrder) {
  EXPECT_EQ(QApplication::focusWidget(), Control<QLineEdit>("txtSQLServer"));
  const char* const order[] = {"txtSQLLogin", "txtSQLPassword", "cmdConverter", "cmdFechar", "txtSQLServer"};
  for (const char* name : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("cmdFechar"));
}

TEST_F(FrmConvertTest, EnteringABoxSelectsItsWholeText) {
  auto* login = Control<QLineEdit>("txtSQLLogin");
  auto* password = Control<QLineEdit>("txtSQLPassword");
  auto* server = Control<QLineEdit>("txtSQLServer");
  login->setText(QStringLiteral("operador"));
  password->setText(QStringLiteral("segredo"));
  server->setText(QStringLiteral("srv01"));

  // By the keyboard.
  QTest::keyClick(server, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), login);
  EXPECT_EQ(login->selectedText(), QStringLiteral("operador"));

  // By a click in the middle of the text, which alone would only place the caret.
  QTest::mouseClick(password, Qt::LeftButton, {}, QPoint(password->width() / 2, password->height() / 2));
  QCoreApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), password);
  EXPECT_EQ(password->selectedText(), QStringLiteral("segredo"));

  // By the program, which alone would keep the caret where it was.
  server->deselect();
  server->setCursorPosition(2);
  login->setFocus(Qt::OtherFocusReason);
  server->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(server->selectedText(), QStringLiteral("srv01"));

  // Coming back to the window is not entering the box again: the caret stays.
  server->setCursorPosition(2);
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QCoreApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), server);
  EXPECT_EQ(server->selectedText(), QString());
  EXPECT_EQ(server->cursorPosition(), 2);
  server->selectAll();

  // Typing then replaces the value.
  QTest::keyClicks(server, QStringLiteral("srv02"));
  EXPECT_EQ(server->text(), QStringLiteral("srv02"));
}

TEST_F(FrmConvertTest, PasswordShowsAStarForEachCharacter) {
  auto* password = Control<QLineEdit>("txtSQLPassword");
  password->setFocus();
  QTest::keyClicks(password, QStringLiteral("seGr3do 9"));
  EXPECT_EQ(password->displayText(), QStringLiteral("*********"));
  EXPECT_EQ(window_->PasswordText(), "seGr3do 9");
  EXPECT_EQ(Toolkit().GetMember(platform::HandleOf(password), "PasswordChar"), Variant("*"));
  EXPECT_EQ(Control<QLineEdit>("txtSQLServer")->echoMode(), QLineEdit::Normal);
}

TEST_F(FrmConvertTest, AltCStartsTheRun) {
  testsupport::ScopedScriptedDriver driver;
  driver->FailConnect("master", Error(18456, "Login failed for user 'sa'."));
  auto ui = RecordUi();
  QSignalSpy clicked(Control<QPushButton>("cmdConverter"), &QPushButton::clicked);
  QTest::keyClick(window_.get(), Qt::Key_C, Qt::AltModifier);
  // A shortcut presses the button visibly and clicks it when it comes back up.
  ASSERT_TRUE(clicked.count() > 0 || clicked.wait(5000));
  ASSERT_EQ(driver->Requests().size(), 1u);
  EXPECT_EQ(driver->Requests()[0].database, "master");
}

TEST_F(FrmConvertTest, ConverterWithEmptyFieldsTriesMasterWithEmptyValuesAndShowsTheError) {
  testsupport::ScopedScriptedDriver driver;
  driver->FailConnect("master", Error(18456, "Login failed for user ''."));
  auto ui = RecordUi();
  QTest::mouseClick(Control<QPushButton>("cmdConverter"), Qt::LeftButton);

  ASSERT_EQ(driver->Requests().size(), 1u);
  const platform::ConnectRequest& request = driver->Requests()[0];
  EXPECT_EQ(request.database, "master");
  EXPECT_EQ(request.server, "");
  EXPECT_EQ(request.login, "");
  EXPECT_EQ(request.password, "");
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "18456\rLogin failed for user ''.");
  EXPECT_EQ(ui->boxes[0].style, platform::kMsgBoxCritical);
  EXPECT_EQ(ui->boxes[0].title, "Tavinor");
  EXPECT_TRUE(ui->pointer_history.empty()) << "the hourglass is set only once connected";
  EXPECT_FALSE(window_->Running());
}

TEST_F(FrmConvertTest, ConverterWithoutAServerShowsTheDriversConnectionError) {
  // The real driver: nothing listens on the default server here.
  auto ui = RecordUi();
  QTest::mouseClick(Control<QPushButton>("cmdConverter"), Qt::LeftButton);
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_TRUE(
      QString::fromStdString(ui->boxes[0].text).contains(QRegularExpression(QStringLiteral("^-?\\d+\r.+"))))
      << ui->boxes[0].text;
  EXPECT_EQ(ui->boxes[0].style, platform::kMsgBoxCritical);
  EXPECT_TRUE(ui->pointer_history.empty());
}

TEST_F(FrmConvertTest, ConverterRunsTheConversionAndShowsEachDatabaseInTheLabel) {
  testsupport::ScopedScriptedDriver driver;
  driver->OnExecute("master", kListQuery,
                    Reply({Table({"name"}, {{Variant("Parvimar01")}, {Variant("Parvimar02")}})}));
  driver->OnExecute("Parvimar01", kTypeQuery, Reply({Table({"name"}, {{Variant("datetime")}})}));
  driver->OnExecute("Parvimar02", kTypeQuery, Reply({Table({"name"}, {{Variant("smalldatetime")}})}));
  driver->FailExecute("Parvimar02", " alter table MovCliente ALTER COLUMN DataSys datetime null",
                      Error(5074, "The object 'DF_MovCliente_DataSys' is dependent on column 'DataSys'."));
  // What the label shows while each database's statements run.
  auto* label = Control<QLabel>("lblConverte");
  std::vector<std::pair<std::string, std::string>> shown;
  driver->fallback = [&](const std::string& database, const std::string&) {
    shown.emplace_back(database, label->text().toStdString());
    return platform::BatchReply{};
  };
  Control<QLineEdit>("txtSQLServer")->setText(QStringLiteral("srv01"));
  Control<QLineEdit>("txtSQLLogin")->setText(QStringLiteral("sa"));
  Control<QLineEdit>("txtSQLPassword")->setText(QStringLiteral("segredo"));
  auto ui = RecordUi();

  QTest::mouseClick(Control<QPushButton>("cmdConverter"), Qt::LeftButton);

  ASSERT_EQ(ui->boxes.size(), 2u);
  EXPECT_EQ(ui->boxes[0].text,
            "Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: Parvimar02;");
  EXPECT_EQ(ui->boxes[0].style, platform::kMsgBoxInformation);
  EXPECT_EQ(ui->boxes[1].text, "Não foi possível alterar as seguintes bases de dados: Parvimar02;");
  EXPECT_EQ(ui->boxes[1].style, platform::kMsgBoxCritical);
  for (const auto& box : ui->boxes) EXPECT_EQ(box.title, "Tavinor");
  EXPECT_EQ(ui->pointer_history, (std::vector<int>{platform::kPointerHourglass, platform::kPointerDefault}));
  EXPECT_EQ(label->text(), QStringLiteral("Parvimar02")) << "the last name stays";
  ASSERT_FALSE(shown.empty());
  for (const auto& [database, caption] : shown) EXPECT_EQ(caption, database);
  for (const auto& request : driver->Requests()) {
    EXPECT_EQ(request.server, "srv01");
    EXPECT_EQ(request.login, "sa");
    EXPECT_EQ(request.password, "segredo");
  }
}

TEST_F(FrmConvertTest, WindowTakesNoInputAndNoSecondRunWhileARunIsUnderWay) {
  testsupport::ScopedScriptedDriver driver;
  driver->OnExecute("master", kListQuery, Reply({Table({"name"}, {{Variant("Parvimar01")}})}));
  auto* converter = Control<QPushButton>("cmdConverter");
  auto* login = Control<QLineEdit>("txtSQLLogin");
  bool poked = false;
  driver->fallback = [&](const std::string&, const std::string&) {
    if (!poked) {
      poked = true;
      // The operator clicks and types while the run holds the window, and a
      // second click reaches the handler directly.
      QTest::keyClicks(login, QStringLiteral("x"));
      const QPoint centre = converter->rect().center();
      QCoreApplication::postEvent(
          converter, new QMouseEvent(QEvent::MouseButtonPress, centre, converter->mapToGlobal(centre),
                                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(
          converter, new QMouseEvent(QEvent::MouseButtonRelease, centre, converter->mapToGlobal(centre),
                                     Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
      converter->click();
      EXPECT_TRUE(window_->Running());
      EXPECT_FALSE(window_->close()) << "the window stays while the run is under way";
    }
    return platform::BatchReply{};
  };
  auto ui = RecordUi();

  QTest::mouseClick(converter, Qt::LeftButton);
  QCoreApplication::processEvents();

  ASSERT_TRUE(poked);
  EXPECT_EQ(std::count_if(driver->Requests().begin(), driver->Requests().end(),
                          [](const platform::ConnectRequest& r) { return r.database == "master"; }),
            1)
      << "one run only";
  EXPECT_EQ(login->text(), QString()) << "typing during the run is dropped";
  EXPECT_EQ(ui->boxes.size(), 1u);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->Running());

  // Once the run is over the window answers again.
  QTest::keyClicks(login, QStringLiteral("sa"));
  EXPECT_EQ(login->text(), QStringLiteral("sa"));
}

TEST_F(FrmConvertTest, FecharAltFAndTheCloseControlEndTheProgram) {
  struct Way {
    const char* name;
    std::function<void(frmConvert&)> close;
  };
  const Way ways[] = {
      {"Fechar clicked",
       [](frmConvert& w) {
         QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdFechar")), Qt::LeftButton);
       }},
      {"Alt+F", [](frmConvert& w) { QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier); }},
      {"close control", [](frmConvert& w) { w.windowHandle()->close(); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    if (!window_) SetUp();
    QTimer::singleShot(0, window_.get(), [this, &way] { way.close(*window_); });
    // Only a guard against hanging: the program ends long before.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    guard.start(20000);
    EXPECT_EQ(QApplication::exec(), 0) << "the last window closed ends the event loop";
    EXPECT_FALSE(window_->isVisible());
    window_.reset();
  }
}

}  // namespace
