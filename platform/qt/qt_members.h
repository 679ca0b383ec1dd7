// What the Qt toolkit files share: the Qt property names behind the toolkit's
// members and the walk over a window's controls.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"

class QTextDocument;

namespace platform {

inline constexpr const char* kHandleProperty = "hWnd";
inline constexpr const char* kTagProperty = "Tag";
inline constexpr const char* kTabIndexProperty = "TabIndex";
inline constexpr const char* kIndexProperty = "Index";
inline constexpr const char* kPasswordCharProperty = "PasswordChar";
// Overrides the type name a widget reports (a widget of a kind Qt lacks, such as
// a picture box).
inline constexpr const char* kTypeNameProperty = "TypeName";

// The controls of `window` in creation order, those inside frames included:
// every named descendant widget that is not a window of its own and not one of
// Qt's internal parts (whose names begin with "qt_").
inline std::vector<QWidget*> ControlWidgets(QWidget* window) {
  std::vector<QWidget*> controls;
  for (QWidget* child : window->findChildren<QWidget*>()) {
    const QString name = child->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !child->isWindow()) {
      controls.push_back(child);
    }
  }
  return controls;
}

}  // namespace platform

namespace platform {

// Throws kErrObjectRequired when `handle` names no window.
QWidget* RequireWidget(WindowHandle handle);
[[noreturn]] void ThrowNotSupported();

// ---- Multi-line text with CR LF line breaks (qt_text_lines.cpp) ----
//
// A multi-line box holds its lines in paragraphs; its Text, and every position
// in it, count each break between them as the two characters CR LF.

// The text of a multi-line box with CR LF breaks.
QString CrLfText(const QTextDocument* document);
// `text` with CR LF breaks turned into the document's line breaks.
QString FromCrLf(QString text);
// A document position as a CR LF position, and back (a position between CR and
// LF is the end of the line).
int ToCrLfPosition(const QTextDocument* document, int position);
int FromCrLfPosition(const QTextDocument* document, int crlf_position);

// ---- List views (qt_list_view.cpp) ----

// The list view's own members for GetMember and SetMember; std::nullopt and
// false when `member` is none of them (or `widget` is no list view).
std::optional<Variant> ListViewMember(QWidget* widget, const std::string& member);
bool SetListViewMember(QWidget* widget, const std::string& member, const Variant& value);

}  // namespace platform
