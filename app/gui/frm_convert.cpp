#include "frm_convert.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <exception>
#include <optional>

#include "app_icon.h"
#include "platform/error.h"
#include "platform/qt_ui.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

// Swallows the user's input to one window while it lives: the mouse, the keys and
// the shortcuts, wherever in the window they are aimed. Other windows (the run's
// message boxes) keep theirs.
class InputBlocker final : public QObject {
 public:
  explicit InputBlocker(QWidget* window) : window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd: {
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && widget->window() == window_;
      }
      default:
        return false;
    }
  }

 private:
  QWidget* window_;
};

QLabel* MakeLabel(QWidget* window, const char* caption) {
  auto* label = new QLabel(QString::fromUtf8(caption), window);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

struct TwipsRect {
  int left, top, width, height;
};

template <typename Control>
Control* Place(Control* control, const char* name, std::optional<int> index, int tab_index, TwipsRect rect) {
  platform::NameControl(control, name, index);
  platform::SetTabIndex(control, tab_index);
  platform::SetTwipsGeometry(control, rect.left, rect.top, rect.width, rect.height);
  return control;
}

}  // namespace

frmConvert::frmConvert(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmConvert"));
  setWindowTitle(QString::fromUtf8("Verificações de Estrutura"));
  setWindowIcon(AppIcon());
  // The geometry was laid out for a narrow sans-serif face of 8.25 points; the
  // first of these the system has is taken, and its size keeps the text in
  // proportion to the twips geometry at every resolution.
  QFont text_font = font();
  text_font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                         QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                         QStringLiteral("DejaVu Sans Condensed")});
  text_font.setPointSizeF(8.25);
  setFont(text_font);
  platform::SetClientSizeTwips(this, 7110, 3090);

  // Name (and index in its control array), tab index, then left, top, width
  // and height in twips.
  Label1[0] = Place(MakeLabel(this, "Servidor SQL :"), "Label1", 0, 0, {120, 240, 1095, 255});
  txtSQLServer = Place(new QLineEdit(this), "txtSQLServer", std::nullopt, 1, {1560, 240, 2055, 315});
  Label1[1] = Place(MakeLabel(this, "Login :"), "Label1", 1, 2, {120, 600, 1095, 255});
  txtSQLLogin = Place(new QLineEdit(this), "txtSQLLogin", std::nullopt, 3, {1560, 600, 2055, 315});
  Label1[2] = Place(MakeLabel(this, "Password :"), "Label1", 2, 4, {120, 960, 1095, 255});
  txtSQLPassword = Place(new QLineEdit(this), "txtSQLPassword", std::nullopt, 5, {1560, 960, 2055, 315});
  platform::SetPasswordChar(txtSQLPassword, '*');
  cmdConverter = Place(new QPushButton(QStringLiteral("&Converter"), this), "cmdConverter", std::nullopt, 6,
                       {4200, 2400, 1335, 495});
  cmdFechar = Place(new QPushButton(QStringLiteral("&Fechar"), this), "cmdFechar", std::nullopt, 7,
                    {5640, 2400, 1335, 495});
  lblConverte = Place(MakeLabel(this, ""), "lblConverte", std::nullopt, 8, {120, 1560, 6855, 495});

  platform::ApplyTabOrder(this);

  connect(cmdConverter, &QPushButton::clicked, this, [this] { cmdConverter_Click(); });
  connect(cmdFechar, &QPushButton::clicked, this, [this] { cmdFechar_Click(); });
  for (QLineEdit* box : {txtSQLServer, txtSQLLogin, txtSQLPassword}) box->installEventFilter(this);

  // Starts centred on its screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  txtSQLServer->setFocus(Qt::OtherFocusReason);
}

std::string frmConvert::ServerText() {
  return txtSQLServer->text().toStdString();
}

std::string frmConvert::LoginText() {
  return txtSQLLogin->text().toStdString();
}

std::string frmConvert::PasswordText() {
  return txtSQLPassword->text().toStdString();
}

void frmConvert::Refresh() {
  repaint();
}

void frmConvert::SetProgressCaption(const std::string& caption) {
  lblConverte->setText(QString::fromStdString(caption));
  lblConverte->repaint();
}

void frmConvert::cmdConverter_Click() {
  // The run does not let events run, but its message boxes do: a click queued
  // behind the first one must not start a second run inside it.
  if (running_) return;
  running_ = true;
  {
    InputBlocker blocker(this);
    try {
      app::RunConversion(*this);
    } catch (const std::exception& failure) {
      // The run absorbs its own failures; anything else still reaches the user
      // rather than the event loop, and the window is given back.
      platform::Ui().SetMousePointer(platform::kPointerDefault);
      platform::ShowError(failure);
    }
    // Input aimed at the window while the run held it is dropped, not
    // replayed once the run is over.
    QCoreApplication::processEvents();
  }
  running_ = false;
}

void frmConvert::cmdFechar_Click() {
  close();
}

void frmConvert::closeEvent(QCloseEvent* event) {
  // The window stays while a run is under way; the run ends on its own.
  if (running_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

bool frmConvert::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn) return QWidget::eventFilter(watched, event);
  void (frmConvert::*handler)() = nullptr;
  if (watched == txtSQLServer) handler = &frmConvert::txtSQLServer_GotFocus;
  if (watched == txtSQLLogin) handler = &frmConvert::txtSQLLogin_GotFocus;
  if (watched == txtSQLPassword) handler = &frmConvert::txtSQLPassword_GotFocus;
  if (!handler) return QWidget::eventFilter(watched, event);
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  // The box that had the focus gets it back whenever the window is activated
  // again (after another program, a message box or a menu): that is not
  // entering the box, and selecting its text then would let the next key
  // replace what was typed. The window's first activation is the start, and
  // does count.
  if (reason == Qt::PopupFocusReason || (reason == Qt::ActiveWindowFocusReason && activated_)) {
    return QWidget::eventFilter(watched, event);
  }
  activated_ = true;
  if (reason == Qt::MouseFocusReason) {
    // A click gives the focus before the box handles the press, and the press
    // then puts the caret under the pointer: select once the click is handled.
    QPointer<frmConvert> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, handler] {
          if (self) (self.data()->*handler)();
        },
        Qt::QueuedConnection);
  } else {
    (this->*handler)();
  }
  return QWidget::eventFilter(watched, event);
}

void frmConvert::txtSQLServer_GotFocus() {
  SharedEDiv().Sel(platform::HandleOf(txtSQLServer));
}

void frmConvert::txtSQLLogin_GotFocus() {
  SharedEDiv().Sel(platform::HandleOf(txtSQLLogin));
}

void frmConvert::txtSQLPassword_GotFocus() {
  SharedEDiv().Sel(platform::HandleOf(txtSQLPassword));
}
