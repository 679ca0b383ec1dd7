// EDiv: forms and controls.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>

#include "platform/controls.h"
#include "platform/text.h"
#include "try_step.h"
#include "util/ediv.h"

using util_internal::Try;

namespace {

// A test whose evaluation fails counts as passed.
bool Met(const std::function<bool()>& test) {
  try {
    return test();
  } catch (const std::exception&) {
    return true;
  }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string NameOf(platform::WindowHandle control) {
  return platform::Toolkit().GetMember(control, "Name").ToString();
}

// The controls chosen by kind prefix ("Todos") or by exact name.
std::vector<platform::WindowHandle> Chosen(platform::WindowHandle form, const std::string& prefix,
                                           const std::string& name) {
  std::vector<platform::WindowHandle> chosen;
  for (const platform::WindowHandle control : platform::Toolkit().ControlsOf(form)) {
    const std::string control_name = NameOf(control);
    if (name == "Todos" ? StartsWith(control_name, prefix) : control_name == name) chosen.push_back(control);
  }
  return chosen;
}

void SetDecimals(platform::WindowHandle form, const std::string& prefix, std::int16_t places,
                 const std::string& name) {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  for (const platform::WindowHandle control : Chosen(form, prefix, name)) {
    toolkit.SetMember(control, "Decimais", platform::Variant(places));
    toolkit.SetMember(control, "Comprimento", platform::Variant(std::int16_t{18}));
  }
}

}  // namespace

void EDiv::EnableFrame(platform::WindowHandle frmForm, platform::WindowHandle fraFrame, bool blnValue,
                       bool blnRecurseContainers) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  std::vector<platform::WindowHandle> controls;
  Try([&] { controls = toolkit.ControlsOf(frmForm); });
  for (const platform::WindowHandle control : controls) {
    if (!Met([&] { return toolkit.GetMember(control, "Tag").ToString() != "0"; })) continue;
    if (!Met([&] { return toolkit.GetMember(control, "Container").ToLong() == fraFrame; })) continue;
    const bool container = Met([&] {
      const std::string type = toolkit.TypeName(control);
      return type == "Frame" || type == "SSTab" || type == "PictureBox";
    });
    if (container) {
      if (blnRecurseContainers) EnableFrame(frmForm, control, blnValue, true);
      continue;
    }
    if (!Met([&] {
          const std::string name = NameOf(control);
          return !platform::EqualsIgnoringCase(name, "CMDFECHAR") &&
                 !platform::EqualsIgnoringCase(name, "CMDCANCELAR");
        })) {
      continue;
    }
    Try([&] { toolkit.SetMember(control, "Enabled", platform::Variant(blnValue)); });
  }
}

void EDiv::EnableControlContainer(platform::WindowHandle xForm, platform::WindowHandle xControl) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  for (const platform::WindowHandle control : toolkit.ControlsOf(xForm)) {
    if (toolkit.GetMember(xControl, "Container").ToLong() != control) continue;
    toolkit.SetMember(xControl, "Enabled", platform::Variant(true));
    EnableControlContainer(xForm, control);
  }
}

platform::WindowHandle EDiv::GetControlDisponivel(platform::WindowHandle frmForm,
                                                  std::int16_t TabIndexInicial, std::int16_t TabIndexFinal,
                                                  std::int32_t Indice,
                                                  const std::string& strCtrlNameIncludeLeft3) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  platform::WindowHandle first = platform::kNoWindow;
  platform::WindowHandle last = platform::kNoWindow;
  int lowest = 32767;
  int highest = 0;
  for (const platform::WindowHandle control : toolkit.ControlsOf(frmForm)) {
    const std::string left3 = NameOf(control).substr(0, 3);
    if (strCtrlNameIncludeLeft3.find(left3) == std::string::npos || strCtrlNameIncludeLeft3.empty()) continue;
    if (toolkit.GetMember(control, "Tag").ToString() == "0") continue;
    if (!toolkit.GetMember(control, "Enabled").ToBool()) continue;
    const int tab_index = toolkit.GetMember(control, "TabIndex").ToInteger();
    if (tab_index < TabIndexInicial || tab_index > TabIndexFinal) continue;
    if (tab_index > highest) {
      highest = tab_index;
      last = control;
    }
    if (tab_index < lowest) {
      lowest = tab_index;
      first = control;
    }
  }
  if (Indice == 1) return first;
  if (Indice == 2) return last;
  return platform::kNoWindow;
}

void EDiv::CenterForm(platform::WindowHandle FormX, platform::WindowHandle ParentForm) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  auto get = [&toolkit](platform::WindowHandle window, const char* member) {
    return toolkit.GetMember(window, member).ToDouble();
  };
  const double height = get(FormX, "Height");
  const double width = get(FormX, "Width");
  if (ParentForm == platform::kNoWindow) {
    toolkit.SetMember(FormX, "Top", platform::Variant(toolkit.ScreenHeightTwips() / 2.0 - height / 2));
    toolkit.SetMember(FormX, "Left", platform::Variant(toolkit.ScreenWidthTwips() / 2.0 - width / 2));
    return;
  }
  const double parent_height = get(ParentForm, "Height");
  const double parent_top = get(ParentForm, "Top");
  toolkit.SetMember(
      FormX, "Top",
      platform::Variant(parent_height >= height ? parent_height / 2 - height / 2 + parent_top : parent_top));
  const double parent_width = get(ParentForm, "Width");
  const double parent_left = get(ParentForm, "Left");
  toolkit.SetMember(
      FormX, "Left",
      platform::Variant(parent_width >= width ? parent_width / 2 - width / 2 + parent_left : parent_left));
}

void EDiv::FormAlwaysOnTop(platform::WindowHandle mForm) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  std::int32_t x = 0;
  std::int32_t y = 0;
  // The remembered position in twips, in whole pixels of the screen.
  auto remembered = [&](const char* key, double twips_per_pixel) {
    const std::int32_t twips =
        platform::Variant(toolkit.GetSetting(toolkit.ExeName(), NameOf(mForm), key, "0")).ToLong();
    const auto per_pixel = static_cast<std::int32_t>(std::nearbyint(twips_per_pixel));
    if (per_pixel == 0) throw platform::Error(11, "Division by zero");
    return twips / per_pixel;
  };
  Try([&] { x = remembered("X", toolkit.TwipsPerPixelX()); });
  Try([&] { y = remembered("Y", toolkit.TwipsPerPixelY()); });
  Try([&] { toolkit.PlaceOnTop(mForm, x, y); });
}

void EDiv::SetCasasDecimaisEmValores(platform::WindowHandle xForm, std::int16_t NumCasas,
                                     const std::string& ctrlName) const {
  SetDecimals(xForm, "eval", NumCasas, ctrlName);
}

void EDiv::SetCasasDecimaisEmDecimais(platform::WindowHandle xForm, std::int16_t NumCasas,
                                      const std::string& ctrlName) const {
  SetDecimals(xForm, "deci", NumCasas, ctrlName);
}

void EDiv::SetMinMaxEmInteiros(platform::WindowHandle xForm, std::int16_t Minimo, std::int16_t Maximo,
                               bool SetValCtrlToMin, const std::string& ctrlName) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  std::vector<platform::WindowHandle> chosen;
  Try([&] { chosen = Chosen(xForm, "eint", ctrlName); });
  for (const platform::WindowHandle control : chosen) {
    Try([&] { toolkit.SetMember(control, "Minimo", platform::Variant(Minimo)); });
    Try([&] { toolkit.SetMember(control, "Maximo", platform::Variant(Maximo)); });
    if (SetValCtrlToMin) Try([&] { toolkit.SetMember(control, "Valor", platform::Variant(Minimo)); });
  }
}

bool EDiv::ControlIsArray(platform::WindowHandle ctrlControl) const {
  try {
    static_cast<void>(platform::Toolkit().GetMember(ctrlControl, "Index").ToInteger());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string EDiv::CreateCheckSumForm(platform::WindowHandle mForm, const std::string& StripExclude) const {
  platform::ControlToolkit& toolkit = platform::Toolkit();
  platform::VariantArray excluded;
  StripString(StripExclude, ",", excluded);
  // The member that holds each kind's value, by name prefix, in this order.
  static const std::pair<const char*, const char*> kValueOf[] = {
      {"txt", "Text"},         {"eval", "Valor"}, {"eint", "Valor"},  {"opt", "Value"},  {"chk", "Value"},
      {"edat", "ConteudoAMD"}, {"esel", "Chave"}, {"pic", "Picture"}, {"img", "Picture"}};
  std::string check;
  for (const platform::WindowHandle control : toolkit.ControlsOf(mForm)) {
    const std::string name = platform::Lower(NameOf(control));
    const bool left_out =
        std::any_of(excluded.items.begin(), excluded.items.end(), [&name](const platform::Variant& piece) {
          return StartsWith(name, platform::Lower(piece.ToString()));
        });
    if (left_out) continue;
    for (const auto& [prefix, member] : kValueOf) {
      if (!StartsWith(name, prefix)) continue;
      // Joined as text is joined to text: a Null value adds nothing.
      const platform::Variant value = toolkit.GetMember(control, member);
      if (!value.IsNull()) check += value.ToString();
      break;
    }
  }
  return check;
}
