// Keys, the key-press hook and the line queries on real Qt text boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "error_number.h"
#include "platform/qt_ui.h"
#include "util/ediv.h"

namespace {

using platform::HandleOf;
using platform::Toolkit;

// A form of three fields; the first two tagged with a number.
class QtKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      boxes_[i] = new QLineEdit(&form_);
      platform::NameControl(boxes_[i], "txtCampo" + std::to_string(i));
      platform::SetTabIndex(boxes_[i], i);
      boxes_[i]->setProperty("Tag", i < 2 ? QStringLiteral("1") : QString());
      // The form's key-press handler, as the applications write it.
      Toolkit().SetKeyPressHook(HandleOf(boxes_[i]), [this, i](int key) {
        auto key_ascii = static_cast<std::int16_t>(key);
        SharedEDiv().ControlEnter(key_ascii, boxes_[i]->property("Tag").toString().toStdString());
        return static_cast<int>(key_ascii);
      });
    }
    platform::ApplyTabOrder(&form_);
    form_.show();
    form_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    boxes_[0]->setFocus();
  }

  QWidget form_;
  std::array<QLineEdit*, 3> boxes_{};
};

TEST_F(QtKeys, EnterAndEscapeMoveBetweenNumericallyTaggedFields) {
  QTest::keyClick(boxes_[0], Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_TRUE(boxes_[1]->hasFocus());
  QTest::keyClick(boxes_[1], Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_TRUE(boxes_[0]->hasFocus());

  boxes_[2]->setFocus();
  QSignalSpy entered(boxes_[2], &QLineEdit::returnPressed);
  QTest::keyClick(boxes_[2], Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(entered.count(), 1) << "an empty tag keeps Enter";
  EXPECT_TRUE(boxes_[2]->hasFocus());
}

TEST_F(QtKeys, ApostrophesBecomeGraveAccentsAndAccentKeysAreSwallowed) {
  QTest::keyClicks(boxes_[0], QStringLiteral("d'a~"));
  EXPECT_EQ(boxes_[0]->text(), QStringLiteral("d`a"));
  // Text composed by an input method (a dead key, compose) passes the same way.
  for (const QString& typed : {QStringLiteral("\u00b4"), QStringLiteral("'e")}) {
    QInputMethodEvent composed;
    composed.setCommitString(typed);
    QCoreApplication::sendEvent(boxes_[0], &composed);
  }
  EXPECT_EQ(boxes_[0]->text(), QStringLiteral("d`a`e"));
}

TEST_F(QtKeys, MandaTeclasTypesIntoTheFocusedFieldOnly) {
  SharedEDiv().MandaTeclas(65);
  SharedEDiv().MandaTeclas(0x6B);  // numeric keypad +
  SharedEDiv().MandaTeclas(7);     // no key: nothing is sent
  QCoreApplication::processEvents();
  EXPECT_EQ(boxes_[0]->text(), QStringLiteral("a+"));
  EXPECT_EQ(testsupport::ErrorNumber([] { SharedEDiv().MandaTeclas(256); }), platform::kErrOverflow);
  QCoreApplication::processEvents();
  EXPECT_EQ(boxes_[0]->text(), QStringLiteral("a+"));
  EXPECT_TRUE(boxes_[1]->text().isEmpty());
}

TEST_F(QtKeys, InsertTextoPastesAtTheCaret) {
  boxes_[1]->setText(QStringLiteral("abcd"));
  boxes_[1]->setCursorPosition(2);
  SharedEDiv().InsertTexto("XY", HandleOf(boxes_[1]));
  QCoreApplication::processEvents();
  EXPECT_EQ(boxes_[1]->text(), QStringLiteral("abXYcd"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("XY"));
}

class QtLines : public ::testing::Test {
 protected:
  void SetUp() override {
    box_ = new QPlainTextEdit(&form_);
    platform::NameControl(box_, "txtNotas");
    box_->resize(300, 200);
    form_.show();
    handle_ = HandleOf(box_);
    Toolkit().SetMember(handle_, "Text", platform::Variant("ab\r\ncd"));
  }
  void Caret(int position) { Toolkit().SetSelection(handle_, position, position); }

  QWidget form_;
  QPlainTextEdit* box_ = nullptr;
  platform::WindowHandle handle_ = 0;
};

TEST_F(QtLines, LineBreaksCountAsCrLfInTextAndPositions) {
  EXPECT_EQ(box_->toPlainText(), QStringLiteral("ab\ncd"));
  EXPECT_EQ(Toolkit().GetMember(handle_, "Text"), platform::Variant("ab\r\ncd"));
  struct Case {
    int caret, info, line, expected;
  };
  for (const Case& c : {Case{0, 0, 0, 2}, Case{5, 1, 0, 6}, Case{5, 2, 0, 2}, Case{5, 3, 0, 5},
                        Case{5, 4, 0, 7}, Case{1, 5, 0, 2}, Case{6, 6, 0, 3}, Case{0, 7, 2, 5},
                        Case{0, 8, 1, 3}, Case{0, 9, 1, 2}, Case{0, 9, 2, 2}, Case{0, 9, 3, 0}}) {
    SCOPED_TRACE(testing::Message() << "caret " << c.caret << " code " << c.info << " line " << c.line);
    Caret(c.caret);
    EXPECT_EQ(SharedEDiv().txtgetLineInfo(handle_, c.info, c.line), c.expected);
  }
  EXPECT_EQ(SharedEDiv().txtGetLineText(handle_, 1), "ab\r\n");
  EXPECT_EQ(box_->textCursor().selectedText(), QStringLiteral("ab\u2029"));
  EXPECT_EQ(SharedEDiv().txtGetLineText(handle_, 2), "cd");
  Toolkit().SetSelection(handle_, 1, 6);
  EXPECT_EQ(Toolkit().GetMember(handle_, "SelText"), platform::Variant("b\r\ncd"));
  EXPECT_EQ(Toolkit().GetMember(handle_, "SelLength"), platform::Variant(std::int32_t{5}));
}

TEST_F(QtLines, ANarrowBoxWrapsIntoMoreLinesThanBreaks) {
  Toolkit().SetMember(handle_, "Text", platform::Variant("palavra palavra palavra palavra palavra\r\nfim"));
  box_->resize(90, 300);
  QCoreApplication::processEvents();
  const int lines = SharedEDiv().txtgetLineInfo(handle_, 0);
  ASSERT_GT(lines, 2);
  // A wrapped line runs up to the next one, with no line break to take off.
  const int first = SharedEDiv().txtgetLineInfo(handle_, 9, 1);
  EXPECT_EQ(first, SharedEDiv().txtgetLineInfo(handle_, 7, 2) - 1);
  EXPECT_EQ(SharedEDiv().txtGetLineText(handle_, 1).size(), static_cast<std::size_t>(first));
  EXPECT_EQ(SharedEDiv().txtgetLineInfo(handle_, 9, lines), 3);
  EXPECT_EQ(SharedEDiv().txtGetLineText(handle_, lines - 1).substr(7), "\r\n")
      << "the hard break ends the line";
}

}  // namespace
