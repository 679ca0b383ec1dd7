// EDiv: the alert list dialog.
#include <algorithm>
#include <exception>

#include "platform/controls.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "try_step.h"
#include "util/ediv.h"

using util_internal::Try;

namespace {

// Height of one list entry, and the gaps of the dialog's layout.
constexpr int kEntryHeight = 300;
constexpr int kButtonGap = 100;
constexpr int kDialogExtra = 700;
// The entry counter is 16-bit.
constexpr int kMaxEntries = 32767;

}  // namespace

std::int16_t EDiv::Alert(const std::string& Titulo, const platform::VariantArray& Opcoes) {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  platform::WindowHandle form = platform::kNoWindow;
  platform::WindowHandle list = platform::kNoWindow;
  platform::WindowHandle cancel = platform::kNoWindow;
  platform::WindowHandle choose = platform::kNoWindow;
  Try([&] { form = toolkit.LoadForm("WAlert1"); });
  Try([&] { list = toolkit.FindControl(form, "List1"); });
  Try([&] { cancel = toolkit.FindControl(form, "CancelarG"); });
  Try([&] { choose = toolkit.FindControl(form, "GravarG"); });

  Try([&] { toolkit.SetMember(form, "Caption", platform::Variant(Titulo)); });
  Try([&] { toolkit.ClearItems(list); });
  // The counter starts at 0 whatever the lower bound: the elements below it
  // cannot be read and add nothing.
  const int last = std::min(Opcoes.UpperBound(), kMaxEntries - 1);
  for (int i = 0; i <= last; ++i) {
    if (i < Opcoes.lower_bound) continue;
    Try([&] {
      toolkit.AddItem(list, Opcoes.items[static_cast<std::size_t>(i - Opcoes.lower_bound)].ToString());
    });
  }
  Try([&] { toolkit.SetMember(list, "Height", platform::Variant(toolkit.ItemCount(list) * kEntryHeight)); });
  Try([&] {
    const double top =
        toolkit.GetMember(list, "Top").ToDouble() + toolkit.GetMember(list, "Height").ToDouble() + kButtonGap;
    toolkit.SetMember(cancel, "Top", platform::Variant(top));
    toolkit.SetMember(choose, "Top", platform::Variant(top));
  });
  Try([&] {
    const double height = toolkit.GetMember(list, "Height").ToDouble() +
                          toolkit.GetMember(cancel, "Height").ToDouble() + kDialogExtra;
    toolkit.SetMember(form, "Height", platform::Variant(height));
  });
  Try([&] {
    const double height = toolkit.GetMember(form, "Height").ToDouble();
    toolkit.SetMember(form, "Top", platform::Variant((toolkit.ScreenHeightTwips() - height) / 2));
  });
  Try([&] {
    const double width = toolkit.GetMember(form, "Width").ToDouble();
    toolkit.SetMember(form, "Left", platform::Variant((toolkit.ScreenWidthTwips() - width) / 2));
  });
  Try([&] { toolkit.ShowModal(form); });
  const std::int16_t choice = gAlertIndex;
  Try([&] { toolkit.Unload(form); });
  Try([] { platform::Ui().DoEvents(); });
  return choice;
}
