// The window-toolkit services that code outside the windows uses: message boxes,
// the program-wide mouse pointer and the event pump. The GUI installs the Qt
// implementation, the command line a console one, tests a recording one.
#pragma once

#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace platform {

inline constexpr int kMsgBoxPlain = 0;
inline constexpr int kMsgBoxCritical = 16;
inline constexpr int kMsgBoxInformation = 64;

inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

// The title of every message box.
inline constexpr const char* kAppTitle = "Tavinor";

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Shows `text` (a carriage return is a line break) with the style's icon
  // (kMsgBoxPlain, kMsgBoxCritical, kMsgBoxInformation), an OK button and the title
  // `title` (kAppTitle when empty); returns when it is closed.
  virtual void MsgBox(const std::string& text, int style, const std::string& title) = 0;
  // The mouse pointer for the whole program (kPointerHourglass, kPointerDefault).
  virtual void SetMousePointer(int pointer) = 0;
  [[nodiscard]] virtual int MousePointer() const = 0;
  // Lets pending window events run, then returns.
  virtual void DoEvents() = 0;

  // ---- Desktop services: the folder dialog and the beep ----
  // Services a program without a desktop cannot offer; their defaults are that
  // answer, so an implementation overrides only what it has.

  // Lets the user choose a folder in a dialog owned by the window `owner` (none
  // for kNoWindow), with `prompt` as its title. Returns the folder's path, or ""
  // when the user cancels or there is no desktop.
  virtual std::string BrowseForFolder(WindowHandle /*owner*/, const std::string& /*prompt*/) { return {}; }
  // Sounds the desktop's beep and returns at once; nothing without a desktop.
  virtual void Beep() {}
};

// The services in use; a console implementation until one is installed.
UiServices& Ui();
// Installs `services`; nullptr restores the console one.
void SetUi(std::shared_ptr<UiServices> services);

// Shorthand for Ui().MsgBox with the application title.
void MsgBox(const std::string& text, int style = kMsgBoxPlain, const std::string& title = {});

// The error box: the error number, a carriage return and the error text, with the
// error icon and the application title.
void ShowError(std::int32_t number, const std::string& text);
// The error box for a caught failure: an Error shows its number and text as above;
// any other exception, which has no number, shows its message alone.
void ShowError(const std::exception& failure);

// Writes message boxes to the terminal: the text with carriage returns turned into
// line breaks, on standard output, or standard error for the error style.
class ConsoleUi final : public UiServices {
 public:
  // Error boxes go to standard error, the others to `information` (standard
  // output unless standard output carries something else, such as a report).
  explicit ConsoleUi(std::ostream& information = std::cout) : information_(information) {}
  void MsgBox(const std::string& text, int style, const std::string& title) override;
  void SetMousePointer(int pointer) override { pointer_ = pointer; }
  [[nodiscard]] int MousePointer() const override { return pointer_; }
  void DoEvents() override {}
  // Writes BEL to standard error when that is a terminal; nothing otherwise,
  // so a redirected log stays plain text.
  void Beep() override;

 private:
  std::ostream& information_;
  int pointer_ = kPointerDefault;
};

// Records every message box and pointer change, for tests.
class RecordingUi final : public UiServices {
 public:
  struct Box {
    std::string text;
    int style;
    std::string title;
  };
  void MsgBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title.empty() ? kAppTitle : title});
  }
  void SetMousePointer(int pointer) override {
    pointer_ = pointer;
    pointer_history.push_back(pointer);
  }
  [[nodiscard]] int MousePointer() const override { return pointer_; }
  void DoEvents() override { ++events_pumped; }
  // Records the prompt and the owner, and answers `folder_answer`.
  std::string BrowseForFolder(WindowHandle owner, const std::string& prompt) override {
    folder_requests.push_back({owner, prompt});
    return folder_answer;
  }
  void Beep() override { ++beeps; }

  std::vector<Box> boxes;
  std::vector<int> pointer_history;
  int events_pumped = 0;
  // The folder dialog's requests and the answer every one gets ("" as if cancelled).
  struct FolderRequest {
    WindowHandle owner;
    std::string prompt;
  };
  std::vector<FolderRequest> folder_requests;
  std::string folder_answer;
  int beeps = 0;

 private:
  int pointer_ = kPointerDefault;
};

}  // namespace platform
