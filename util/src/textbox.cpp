// EDiv: text boxes and keyboard.
#include <exception>

#include "platform/controls.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "text_rules.h"
#include "try_step.h"
#include "util/ediv.h"

using util_internal::Try;

void EDiv::Sel(platform::WindowHandle hWnd) {
  // The events run between the steps let a focus change already under way
  // finish first, so that it cannot take the selection away afterwards.
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetFocus(hWnd); });
  Try([] { platform::Ui().DoEvents(); });
  Try([hWnd] { platform::Toolkit().SetSelection(hWnd, 0, -1); });
}

namespace {

void SendTab() {
  platform::Toolkit().SendKey(9, 0);
}

void SendShiftTab() {
  platform::Toolkit().SendKey(9, platform::kKeyShift);
}

}  // namespace

void EDiv::ControlEnter(std::int16_t& KeyAscii, const std::string& Tag) const {
  platform::Ui().DoEvents();
  if (KeyAscii == 39) {
    KeyAscii = 96;
    return;
  }
  for (const std::int16_t accent : {126, 180, 96, 94, 168}) {
    if (KeyAscii == accent) KeyAscii = 0;
  }
  if ((KeyAscii == 13 || KeyAscii == 27) && !Tag.empty() && platform::Variant(Tag).IsNumeric()) {
    platform::Ui().DoEvents();
    if (KeyAscii == 13) {
      SendTab();
    } else {
      SendShiftTab();
    }
    KeyAscii = 0;
  }
}

void EDiv::MandaTeclas(std::int32_t Key) const {
  if (Key < 0 || Key > 255) platform::RaiseError(platform::kErrOverflow);
  platform::Toolkit().SendKey(Key, 0);
}

void EDiv::InsertTexto(const std::string& StrToInsert, platform::WindowHandle ctrl) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  toolkit.SetClipboardText(StrToInsert);
  if (platform::Trim(StrToInsert).empty()) return;
  toolkit.SetFocus(ctrl);
  toolkit.SendKey('V', platform::kKeyControl);
}

std::int32_t EDiv::txtgetLineInfo(platform::WindowHandle txtObj, std::int32_t Info,
                                  std::int32_t lineNumber) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  // The end of the selection, where the caret is, counted in full.
  auto caret = [&] {
    return toolkit.GetMember(txtObj, "SelStart").ToLong() + toolkit.GetMember(txtObj, "SelLength").ToLong() +
           1;
  };
  auto current_line = [&] { return toolkit.LineFromChar(txtObj, -1) + 1; };
  switch (Info) {
    case 0:
      return toolkit.LineCount(txtObj);
    case 1:
      return caret();
    case 2:
      return current_line();
    case 3:
      return toolkit.LineIndex(txtObj, -1) + 1;
    case 4:
      return toolkit.LineIndex(txtObj, -1) + 1 + toolkit.LineLength(txtObj, -1);
    case 5:
      return toolkit.LineLength(txtObj, -1);
    case 6:
      return caret() - toolkit.LineIndex(txtObj, current_line() - 1);
    case 7:
      return toolkit.LineIndex(txtObj, lineNumber - 1) + 1;
    case 8: {
      const int start = toolkit.LineIndex(txtObj, lineNumber - 1);
      return start + 1 + toolkit.LineLength(txtObj, start);
    }
    case 9: {
      // From this line's start to the next one's (or the end of the text), less
      // the line break only where there is one: a line that wraps ends in none,
      // and the last line never gives a negative length.
      const int start = toolkit.LineIndex(txtObj, lineNumber - 1);
      return start < 0 ? 0 : toolkit.LineLength(txtObj, start);
    }
    default:
      return 0;
  }
}

std::string EDiv::txtGetLineText(platform::WindowHandle txtObj, std::int32_t lineNumber) const {
  const std::int32_t line = lineNumber == 0 ? txtgetLineInfo(txtObj, 2) : lineNumber;
  const std::int32_t start = txtgetLineInfo(txtObj, 7, line);
  const std::int32_t next = txtgetLineInfo(txtObj, 7, line + 1);
  // For the last line there is no next one: the selection runs to the end.
  platform::Toolkit().SetSelection(txtObj, start - 1, next - 1);
  return platform::Toolkit().GetMember(txtObj, "SelText").ToString();
}
