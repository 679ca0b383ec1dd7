// What the Qt toolkit files share: the Qt property names behind the toolkit's
// members and the walk over a window's controls.
#pragma once

#include <QWidget>
#include <vector>

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
