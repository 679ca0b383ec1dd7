// Windows loaded by name, shown modally, hidden and unloaded; the program's
// executable name.
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <map>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {
namespace {

using Factories = std::map<QString, std::function<QWidget*()>>;

// Never destroyed, as the handle registry.
Factories& Registered() {
  static auto* factories = new Factories;
  return *factories;
}

// Ends a local event loop once its window is hidden.
class HideWatcher final : public QObject {
 public:
  explicit HideWatcher(QEventLoop& loop) : loop_(loop) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide) loop_.quit();
    return QObject::eventFilter(watched, event);
  }

 private:
  QEventLoop& loop_;
};

}  // namespace

void RegisterForm(const std::string& name, std::function<QWidget*()> factory) {
  Registered()[QString::fromStdString(name).toLower()] = std::move(factory);
}

WindowHandle QtToolkit::LoadForm(const std::string& name) {
  const auto found = Registered().find(QString::fromStdString(name).toLower());
  if (found == Registered().end()) throw Error(kErrControlNotFound, "Control '" + name + "' not found");
  QWidget* window = found->second();
  // Its native window exists from now on, as a loaded window's does: its frame
  // counts in its size and position before it is first shown.
  window->winId();
  return HandleOf(window);
}

void QtToolkit::ShowModal(WindowHandle form) {
  QWidget* window = RequireWidget(form);
  if (auto* dialog = qobject_cast<QDialog*>(window)) {
    dialog->exec();
    return;
  }
  QPointer<QWidget> guard(window);
  QEventLoop loop;
  HideWatcher watcher(loop);
  window->installEventFilter(&watcher);
  QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
  window->setWindowModality(Qt::ApplicationModal);
  window->show();
  if (window->isVisible()) loop.exec();
  if (guard) {
    guard->removeEventFilter(&watcher);
    guard->setWindowModality(Qt::NonModal);
  }
}

void QtToolkit::Hide(WindowHandle form) {
  RequireWidget(form)->hide();
}

void QtToolkit::Unload(WindowHandle form) {
  QWidget* window = RequireWidget(form);
  window->hide();
  delete window;
}

void QtToolkit::PlaceOnTop(WindowHandle form, int x, int y) {
  QWidget* window = RequireWidget(form);
  if (!window->isWindow()) ThrowNotSupported();
  // Changing the flag hides a shown window; it is shown again in place.
  const bool shown = window->isVisible();
  window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  window->move(x, y);
  if (shown) window->show();
}

std::string QtToolkit::ExeName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

}  // namespace platform
