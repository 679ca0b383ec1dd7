// The main window driving a whole conversion run through the real client stack
// (the session layer, unixODBC, FreeTDS) against the stand-in server with its
// demo scenario. Skipped when the stand-in is not built.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "frm_convert.h"
#include "platform/ui_services.h"

namespace {

constexpr const char* kDetectedAll =
    "Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: "
    "Parvimar01;Parvimar02;Parvimar04;Parvimar05;Parvimar06;";
constexpr const char* kFailed =
    "Não foi possível alterar as seguintes bases de dados: Parvimar04;Parvimar05;Parvimar06;";

class FrmConvertAgainstStandin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QFileInfo::exists(QStringLiteral(STANDIN_BINARY))) return;
    // FreeTDS lets these override the connection string, even when empty.
    for (const char* name : {"TDSVER", "TDSPORT", "TDSHOST"}) qunsetenv(name);
    server_ = new QProcess;
    server_->start(QStringLiteral(STANDIN_BINARY),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--scenario"),
                    QStringLiteral(STANDIN_DEMO), QStringLiteral("--stdin-lifetime")});
    // The first line names the port: "listening 127.0.0.1:<port> control <port>".
    while (server_->waitForReadyRead(30000) && !server_->canReadLine()) {
    }
    const QString line = QString::fromUtf8(server_->readLine()).trimmed();
    const QString address = line.section(QLatin1Char(' '), 1, 1);
    port_ = address.section(QLatin1Char(':'), 1, 1).toInt();
  }
  static void TearDownTestSuite() {
    if (!server_) return;
    server_->closeWriteChannel();  // --stdin-lifetime: the server stops
    if (!server_->waitForFinished(30000)) server_->kill();
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!server_) GTEST_SKIP() << "the stand-in is not built";
    ASSERT_GT(port_, 0) << "the stand-in did not name its port";
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    window_ = std::make_unique<frmConvert>();
    window_->show();
  }
  void TearDown() override {
    window_.reset();
    platform::SetUi(nullptr);
  }

  void Fill(const QString& login, const QString& password) {
    window_->findChild<QLineEdit*>(QStringLiteral("txtSQLServer"))
        ->setText(QStringLiteral("127.0.0.1,%1").arg(port_));
    window_->findChild<QLineEdit*>(QStringLiteral("txtSQLLogin"))->setText(login);
    window_->findChild<QLineEdit*>(QStringLiteral("txtSQLPassword"))->setText(password);
  }
  void ClickConverter() {
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("cmdConverter")), Qt::LeftButton);
  }

  static QProcess* server_;
  static int port_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::unique_ptr<frmConvert> window_;
};

QProcess* FrmConvertAgainstStandin::server_ = nullptr;
int FrmConvertAgainstStandin::port_ = 0;

TEST_F(FrmConvertAgainstStandin, WrongPasswordShowsTheServersLoginError) {
  Fill(QStringLiteral("sa"), QStringLiteral("errada"));
  ClickConverter();
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "18456\rLogin failed for user 'sa'.");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
  EXPECT_TRUE(ui_->pointer_history.empty());
}

TEST_F(FrmConvertAgainstStandin, ConvertsTheDemoServerAndASecondRunFindsOnlyTheFailures) {
  Fill(QStringLiteral("sa"), QStringLiteral("Tavinor#2024"));
  ClickConverter();
  ASSERT_EQ(ui_->boxes.size(), 2u);
  EXPECT_EQ(ui_->boxes[0].text, kDetectedAll);
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxInformation);
  EXPECT_EQ(ui_->boxes[1].text, kFailed);
  EXPECT_EQ(ui_->boxes[1].style, platform::kMsgBoxCritical);
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{platform::kPointerHourglass, platform::kPointerDefault}));
  EXPECT_EQ(window_->findChild<QLabel*>(QStringLiteral("lblConverte"))->text(), QStringLiteral("Parvimar06"));

  // The changes stayed on the server: only the databases that failed need it still.
  ui_->boxes.clear();
  ClickConverter();
  ASSERT_EQ(ui_->boxes.size(), 2u);
  EXPECT_EQ(ui_->boxes[0].text,
            "Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: "
            "Parvimar04;Parvimar05;Parvimar06;");
  EXPECT_EQ(ui_->boxes[1].text, kFailed);
}

}  // namespace
