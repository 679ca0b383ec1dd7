// Window handles, control names, tab order and twips geometry for Qt widgets.
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {
namespace {

struct HandleRegistry {
  std::unordered_map<WindowHandle, QPointer<QWidget>> widgets;
  WindowHandle next = 1;
};

// Never destroyed: widgets may still be torn down during static destruction.
HandleRegistry& Registry() {
  static auto* registry = new HandleRegistry;
  return *registry;
}

const QScreen* ScreenOf(const QWidget* widget) {
  const QScreen* screen = widget ? widget->screen() : nullptr;
  return screen ? screen : QGuiApplication::primaryScreen();
}

double TwipsPerPixel(double dots_per_inch) {
  return dots_per_inch > 0 ? kTwipsPerInch / dots_per_inch : kTwipsPerInch / 96.0;
}

}  // namespace

WindowHandle HandleOf(QWidget* widget) {
  if (!widget) return kNoWindow;
  const QVariant known = widget->property(kHandleProperty);
  if (known.isValid()) return known.toInt();
  HandleRegistry& registry = Registry();
  const WindowHandle handle = registry.next++;
  registry.widgets.emplace(handle, widget);
  widget->setProperty(kHandleProperty, handle);
  QObject::connect(widget, &QObject::destroyed, [handle] { Registry().widgets.erase(handle); });
  return handle;
}

QWidget* WidgetOf(WindowHandle handle) {
  const auto& widgets = Registry().widgets;
  const auto found = widgets.find(handle);
  return found == widgets.end() ? nullptr : found->second.data();
}

void NameControl(QWidget* control, const std::string& name, std::optional<int> index) {
  control->setObjectName(QString::fromStdString(name));
  if (index) control->setProperty(kIndexProperty, *index);
}

void SetTabIndex(QWidget* control, int tab_index) {
  control->setProperty(kTabIndexProperty, tab_index);
}

void ApplyTabOrder(QWidget* window) {
  std::vector<QWidget*> chain;
  for (QWidget* control : ControlWidgets(window)) {
    if (control->property(kTabIndexProperty).isValid() && (control->focusPolicy() & Qt::TabFocus)) {
      chain.push_back(control);
    }
  }
  // Equal numbers keep the creation order.
  std::stable_sort(chain.begin(), chain.end(), [](QWidget* a, QWidget* b) {
    return a->property(kTabIndexProperty).toInt() < b->property(kTabIndexProperty).toInt();
  });
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void SetPasswordChar(QLineEdit* box, char mask) {
  box->setProperty(kPasswordCharProperty, mask ? QString(QLatin1Char(mask)) : QString());
  if (mask) {
    // The style decides the masking character; a style sheet is the one
    // per-widget way to choose it.
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                           .arg(static_cast<int>(static_cast<unsigned char>(mask))));
  } else {
    box->setEchoMode(QLineEdit::Normal);
    box->setStyleSheet(QString());
  }
}

double TwipsPerPixelX(const QWidget* widget) {
  return TwipsPerPixel(ScreenOf(widget)->logicalDotsPerInchX());
}

double TwipsPerPixelY(const QWidget* widget) {
  return TwipsPerPixel(ScreenOf(widget)->logicalDotsPerInchY());
}

int TwipsToPixels(int twips, double twips_per_pixel) {
  return static_cast<int>(std::lround(twips / twips_per_pixel));
}

void SetTwipsGeometry(QWidget* control, int left, int top, int width, int height) {
  const double x = TwipsPerPixelX(control);
  const double y = TwipsPerPixelY(control);
  control->setGeometry(TwipsToPixels(left, x), TwipsToPixels(top, y), TwipsToPixels(width, x),
                       TwipsToPixels(height, y));
}

void SetClientSizeTwips(QWidget* window, int width, int height) {
  window->setFixedSize(TwipsToPixels(width, TwipsPerPixelX(window)),
                       TwipsToPixels(height, TwipsPerPixelY(window)));
}

}  // namespace platform
