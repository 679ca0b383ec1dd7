// Message boxes, the program-wide pointer and the event pump over Qt.
#include "platform/qt_ui.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace platform {
namespace {

QMessageBox::Icon IconFor(int style) {
  // The icon is chosen by the bits 16 to 64 of the style; the button bits
  // (0 to 5) are not offered, every box has OK only.
  switch (style & 0x70) {
    case 16:
      return QMessageBox::Critical;
    case 32:
      return QMessageBox::Question;
    case 48:
      return QMessageBox::Warning;
    case 64:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Message texts break lines with a lone carriage return (sometimes a carriage
// return and line feed); Qt breaks them with a line feed.
QString LinesOf(const std::string& text) {
  QString lines = QString::fromStdString(text);
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return lines;
}

Qt::CursorShape ShapeFor(int pointer) {
  switch (pointer) {
    case 2:
      return Qt::CrossCursor;
    case 3:
      return Qt::IBeamCursor;
    case 5:
    case 15:
      return Qt::SizeAllCursor;
    case 6:
      return Qt::SizeBDiagCursor;
    case 7:
      return Qt::SizeVerCursor;
    case 8:
      return Qt::SizeFDiagCursor;
    case 9:
      return Qt::SizeHorCursor;
    case 10:
      return Qt::UpArrowCursor;
    case kPointerHourglass:
      return Qt::WaitCursor;
    case 12:
      return Qt::ForbiddenCursor;
    case 13:
      return Qt::BusyCursor;
    case 14:
      return Qt::WhatsThisCursor;
    default:
      return Qt::ArrowCursor;
  }
}

}  // namespace

void QtUi::MsgBox(const std::string& text, int style, const std::string& title) {
  QMessageBox box(IconFor(style), QString::fromStdString(title.empty() ? kAppTitle : title), LinesOf(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  // Database names and server error texts end up in these boxes: never let
  // them be read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void QtUi::SetMousePointer(int pointer) {
  // One override of our own at most, so that any number of hourglass calls is
  // undone by a single return to the default.
  if (pointer == kPointerDefault) {
    if (overriding_) QGuiApplication::restoreOverrideCursor();
    overriding_ = false;
  } else if (overriding_) {
    QGuiApplication::changeOverrideCursor(QCursor(ShapeFor(pointer)));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(ShapeFor(pointer)));
    overriding_ = true;
  }
  pointer_ = pointer;
}

void QtUi::DoEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void InstallQtUi() {
  SetUi(std::make_shared<QtUi>());
  SetToolkit(std::make_shared<QtToolkit>());
  SetPrinters(std::make_shared<QtPrinters>());
}

}  // namespace platform
