// Picture controls over Qt: a QLabel showing a pixmap read from a file.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {
namespace {

QLabel* RequirePictureControl(WindowHandle control) {
  auto* label = qobject_cast<QLabel*>(RequireWidget(control));
  if (!label) ThrowNotSupported();
  return label;
}

}  // namespace

void QtToolkit::LoadPicture(WindowHandle control, const std::string& path) {
  QLabel* label = RequirePictureControl(control);
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) RaiseError(kErrFileNotFound);
  // The reader tells the format from the content, not from the file's name:
  // the pictures kept in tables come back in a file without an extension.
  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) RaiseError(kErrInvalidPicture);
  label->setPixmap(QPixmap::fromImage(image));
}

void QtToolkit::ClearPicture(WindowHandle control) {
  RequirePictureControl(control)->setPixmap(QPixmap());
}

}  // namespace platform
