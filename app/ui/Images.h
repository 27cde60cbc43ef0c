#pragma once
// The images of the application's resources, by name ("status-bar-icon", "add-plus"), drawn as
// SVG so they stay sharp at every scale.

#include <QIcon>
#include <QPixmap>

namespace quillet {

QString ImagePath(const QString& name);  // the resource path ":/images/NAME.svg"
QIcon ImageIcon(const QString& name);
QPixmap ImagePixmap(const QString& name, const QSize& size);

}  // namespace quillet
