// An in-memory window toolkit for the utility tests: forms and controls with
// members held by name, list views with items, text boxes with a line model
// (CR LF breaks, optional wrapping at a fixed number of characters), and a log
// of the keys sent and the windows shown.
#pragma once

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace testsupport {

class FakeToolkit final : public platform::ControlToolkit {
 public:
  using Handle = platform::WindowHandle;
  using Variant = platform::Variant;

  struct Item {
    std::string text, key, tag;
    int small_icon = 0;
    bool checked = false;
    std::vector<std::string> sub_items;
  };
  struct Column {
    std::string text;
    double width;
    int alignment;
  };
  struct Control {
    std::string name, type;
    Handle form = 0;
    Handle container = 0;
    // Members by lower-case name; "tag", "enabled" and "name" are always there.
    std::map<std::string, Variant> members;
    // Text boxes: the text (CR LF breaks), the selection and the wrap width.
    int sel_start = 0, sel_end = 0;
    int wrap = 0;
    // List views.
    std::vector<Item> items;
    std::vector<Column> columns;
    int selected = 0;
    std::uint32_t style = 0;
  };

  // ---- Building ----

  Handle AddForm(const std::string& name) {
    const Handle h = next_++;
    controls_[h] = MakeControl(name, name, h, 0);
    return h;
  }
  // A control of `form`; `container` 0 puts it on the form itself.
  Handle Add(Handle form, const std::string& name, const std::string& type, Handle container = 0) {
    const Handle h = next_++;
    controls_[h] = MakeControl(name, type, form, container ? container : form);
    order_.push_back(h);
    return h;
  }
  Control& operator[](Handle h) { return Require(h); }
  Variant& Member(Handle h, const std::string& member) { return Require(h).members[Lower(member)]; }

  // ---- What happened ----

  // "SendKey <vk> <modifiers>", "ShowModal <name>", "Unload <name>", "SetFocus <name>", "PlaceOnTop ...".
  std::vector<std::string> log;
  // Runs while a window is shown modally (the user's part).
  std::function<void(Handle form)> on_show_modal;
  std::map<std::string, std::function<Handle()>> form_factories;
  std::map<std::string, std::string> settings;  // "application|section|key"
  std::string clipboard, exe_name = "tavinor";
  int screen_width = 1280 * 15, screen_height = 1024 * 15;
  double twips_per_pixel = 15;
  Handle focused = 0;

  // ---- The toolkit ----

  std::vector<Handle> ControlsOf(Handle form) override {
    Require(form);
    std::vector<Handle> found;
    for (Handle h : order_) {
      if (controls_.count(h) && controls_[h].form == form) found.push_back(h);
    }
    return found;
  }
  Handle FindControl(Handle form, const std::string& name, std::optional<int>) override {
    for (Handle h : ControlsOf(form)) {
      if (Lower(controls_[h].name) == Lower(name)) return h;
    }
    throw platform::Error(platform::kErrControlNotFound, "Control '" + name + "' not found");
  }
  std::string TypeName(Handle control) override { return Require(control).type; }
  Variant GetMember(Handle control, const std::string& member) override {
    Control& c = Require(control);
    const std::string m = Lower(member);
    if (m == "hwnd") return Variant(control);
    if (m == "container") {
      if (c.container == 0) NotSupported();
      return Variant(c.container);
    }
    if (m == "selstart") return Variant(std::min(c.sel_start, c.sel_end));
    if (m == "sellength") return Variant(std::abs(c.sel_end - c.sel_start));
    if (m == "seltext") {
      const std::string text = Text(c);
      const auto from = static_cast<std::size_t>(std::min(c.sel_start, c.sel_end));
      return Variant(text.substr(from, static_cast<std::size_t>(std::abs(c.sel_end - c.sel_start))));
    }
    if (m == "checkboxes") return Variant((c.style & platform::kListViewCheckBoxes) != 0);
    if (m == "fullrowselect") return Variant((c.style & platform::kListViewFullRowSelect) != 0);
    const auto found = c.members.find(m);
    if (found == c.members.end()) {
      if (m == "index") throw platform::Error(platform::kErrNotAnArray, "Object not an array");
      NotSupported();
    }
    return found->second;
  }
  void SetMember(Handle control, const std::string& member, const Variant& value) override {
    Control& c = Require(control);
    const std::string m = Lower(member);
    log.push_back("Set " + c.name + "." + member + "=" + value.ToString());
    if (m == "hwnd" || m == "container" || m == "index") NotSupported();
    if (m == "checkboxes" || m == "fullrowselect") {
      const std::uint32_t bit =
          m == "checkboxes" ? platform::kListViewCheckBoxes : platform::kListViewFullRowSelect;
      c.style = value.ToBool() ? c.style | bit : c.style & ~bit;
      return;
    }
    if (!c.members.count(m)) NotSupported();
    c.members[m] = value;
  }
  void SetFocus(Handle control) override {
    log.push_back("SetFocus " + Require(control).name);
    focused = control;
  }
  void SetSelection(Handle control, int start, int end) override {
    Control& c = Require(control);
    const int size = static_cast<int>(Text(c).size());
    c.sel_start = std::clamp(start, 0, size);
    c.sel_end = end < 0 ? size : std::clamp(end, 0, size);
  }
  void Refresh(Handle) override {}
  int ScreenWidthTwips() override { return screen_width; }
  int ScreenHeightTwips() override { return screen_height; }
  double TwipsPerPixelX() override { return twips_per_pixel; }
  double TwipsPerPixelY() override { return twips_per_pixel; }
  void SetClipboardText(const std::string& text) override { clipboard = text; }
  std::string ClipboardText() override { return clipboard; }
  std::string GetSetting(const std::string& application, const std::string& section, const std::string& key,
                         const std::string& default_value) override {
    const auto found = settings.find(application + "|" + section + "|" + key);
    return found == settings.end() ? default_value : found->second;
  }
  void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                   const std::string& value) override {
    settings[application + "|" + section + "|" + key] = value;
  }

  Handle LoadForm(const std::string& name) override {
    const auto found = form_factories.find(name);
    if (found == form_factories.end()) throw platform::Error(platform::kErrControlNotFound, "not found");
    return found->second();
  }
  void ShowModal(Handle form) override {
    log.push_back("ShowModal " + Require(form).name);
    if (on_show_modal) on_show_modal(form);
  }
  void Hide(Handle form) override { log.push_back("Hide " + Require(form).name); }
  void Unload(Handle form) override {
    log.push_back("Unload " + Require(form).name);
    std::erase_if(controls_, [form](const auto& entry) { return entry.second.form == form; });
  }
  void PlaceOnTop(Handle form, int x, int y) override {
    log.push_back("PlaceOnTop " + Require(form).name + " " + std::to_string(x) + " " + std::to_string(y));
  }
  std::string ExeName() override { return exe_name; }

  void ClearColumns(Handle list_view) override { Require(list_view).columns.clear(); }
  void AddColumn(Handle list_view, const std::string& text, double width, int alignment) override {
    Require(list_view).columns.push_back({text, width, alignment});
  }
  void ClearItems(Handle list_view) override {
    Require(list_view).items.clear();
    Require(list_view).selected = 0;
  }
  int AddItem(Handle list_view, const std::string& text) override {
    Require(list_view).items.push_back(Item{text, "", "", 0, false, {}});
    return static_cast<int>(Require(list_view).items.size());
  }
  int ItemCount(Handle list_view) override { return static_cast<int>(Require(list_view).items.size()); }
  Variant GetItem(Handle list_view, int index, const std::string& member) override {
    const Item& item = RequireItem(list_view, index);
    const std::string m = Lower(member);
    if (m == "index") return Variant(static_cast<std::int32_t>(index));
    if (m == "text") return Variant(item.text);
    if (m == "key") return Variant(item.key);
    if (m == "tag") return Variant(item.tag);
    if (m == "smallicon") return Variant(static_cast<std::int32_t>(item.small_icon));
    if (m == "checked") return Variant(item.checked);
    if (m == "selected") return Variant(Require(list_view).selected == index);
    NotSupported();
  }
  void SetItem(Handle list_view, int index, const std::string& member, const Variant& value) override {
    Item& item = RequireItem(list_view, index);
    const std::string m = Lower(member);
    if (m == "text") {
      item.text = value.ToString();
    } else if (m == "key") {
      item.key = value.ToString();
    } else if (m == "tag") {
      item.tag = value.ToString();
    } else if (m == "smallicon") {
      item.small_icon = value.ToLong();
    } else if (m == "checked") {
      item.checked = value.ToBool();
    } else {
      NotSupported();
    }
  }
  int SubItemCount(Handle list_view, int index) override {
    return static_cast<int>(RequireItem(list_view, index).sub_items.size());
  }
  std::string SubItemText(Handle list_view, int index, int sub_index) override {
    Item& item = RequireItem(list_view, index);
    if (sub_index < 1 || sub_index > static_cast<int>(item.sub_items.size())) OutOfBounds();
    return item.sub_items[static_cast<std::size_t>(sub_index - 1)];
  }
  void SetSubItemText(Handle list_view, int index, int sub_index, const std::string& text) override {
    Item& item = RequireItem(list_view, index);
    if (sub_index < 1 || sub_index > static_cast<int>(item.sub_items.size()) + 1) OutOfBounds();
    if (sub_index > static_cast<int>(item.sub_items.size())) item.sub_items.emplace_back();
    item.sub_items[static_cast<std::size_t>(sub_index - 1)] = text;
  }
  int SelectedItem(Handle list_view) override {
    const int selected = Require(list_view).selected;
    if (selected == 0) throw platform::Error(platform::kErrObjectNotSet, "Object variable not set");
    return selected;
  }
  void SetSelectedItem(Handle list_view, int index) override {
    RequireItem(list_view, index);
    Require(list_view).selected = index;
  }
  std::uint32_t ListViewExtendedStyle(Handle list_view) override { return Require(list_view).style; }
  void SetListViewExtendedStyle(Handle list_view, std::uint32_t style) override {
    Require(list_view).style = style;
  }

  int LineCount(Handle box) override { return static_cast<int>(Lines(Require(box)).size()); }
  int LineFromChar(Handle box, int char_index) override {
    Control& c = Require(box);
    return LineOf(c, char_index < 0 ? std::min(c.sel_start, c.sel_end) : char_index);
  }
  int LineIndex(Handle box, int line) override {
    Control& c = Require(box);
    const auto lines = Lines(c);
    if (line == -1) line = LineOf(c, c.sel_end);
    if (line < 0 || line >= static_cast<int>(lines.size())) return -1;
    return lines[static_cast<std::size_t>(line)].first;
  }
  int LineLength(Handle box, int char_index) override {
    Control& c = Require(box);
    return Lines(c)[static_cast<std::size_t>(LineOf(c, char_index < 0 ? c.sel_end : char_index))].second;
  }

  void SendKey(int virtual_key, int modifiers) override {
    log.push_back("SendKey " + std::to_string(virtual_key) + " " + std::to_string(modifiers));
  }
  void SetKeyPressHook(Handle control, platform::KeyPressHook hook) override {
    hooks[control] = std::move(hook);
  }
  std::map<Handle, platform::KeyPressHook> hooks;

  // Pictures: a file whose content begins with `picture_signature` is a
  // picture; the control then holds the file's bytes.
  void LoadPicture(Handle control, const std::string& path) override {
    Require(control);
    std::ifstream file(path, std::ios::binary);
    if (!file) throw platform::Error(platform::kErrFileNotFound, "File not found");
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.rfind(picture_signature, 0) != 0) {
      throw platform::Error(platform::kErrInvalidPicture, "Invalid picture");
    }
    pictures[control] = std::move(bytes);
  }
  void ClearPicture(Handle control) override {
    Require(control);
    pictures.erase(control);
  }
  std::string picture_signature = "PIC";
  std::map<Handle, std::string> pictures;

 private:
  static Control MakeControl(const std::string& name, const std::string& type, Handle form,
                             Handle container) {
    Control control;
    control.name = name;
    control.type = type;
    control.form = form;
    control.container = container;
    control.members = {{"name", Variant(name)}, {"tag", Variant("")}, {"enabled", Variant(true)}};
    return control;
  }
  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return text;
  }
  [[noreturn]] static void NotSupported() {
    throw platform::Error(platform::kErrMemberNotSupported, "Object doesn't support this property or method");
  }
  [[noreturn]] static void OutOfBounds() {
    throw platform::Error(platform::kErrIndexOutOfBounds, "Index out of bounds");
  }
  Control& Require(Handle h) {
    const auto found = controls_.find(h);
    if (found == controls_.end()) throw platform::Error(platform::kErrObjectRequired, "Object required");
    return found->second;
  }
  Item& RequireItem(Handle list_view, int index) {
    Control& c = Require(list_view);
    if (index < 1 || index > static_cast<int>(c.items.size())) OutOfBounds();
    return c.items[static_cast<std::size_t>(index - 1)];
  }
  std::string Text(Control& c) {
    const auto found = c.members.find("text");
    return found == c.members.end() ? std::string() : found->second.ToString();
  }
  // (start, length without break) of each shown line.
  std::vector<std::pair<int, int>> Lines(Control& c) {
    const std::string text = Text(c);
    std::vector<std::pair<int, int>> lines;
    std::size_t start = 0;
    while (true) {
      const std::size_t stop = text.find("\r\n", start);
      const int hard_end = static_cast<int>(stop == std::string::npos ? text.size() : stop);
      int from = static_cast<int>(start);
      while (c.wrap > 0 && hard_end - from > c.wrap) {
        lines.emplace_back(from, c.wrap);
        from += c.wrap;
      }
      lines.emplace_back(from, hard_end - from);
      if (stop == std::string::npos) break;
      start = stop + 2;
    }
    return lines;
  }
  int LineOf(Control& c, int position) {
    const auto lines = Lines(c);
    int line = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].first <= position) line = static_cast<int>(i);
    }
    return line;
  }

  std::map<Handle, Control> controls_;
  std::vector<Handle> order_;
  Handle next_ = 1;
};

}  // namespace testsupport
