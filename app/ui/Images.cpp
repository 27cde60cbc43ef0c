#include "app/ui/Images.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quillet {

QString ImagePath(const QString& name) {
    return ":/images/" + name + ".svg";
}

QIcon ImageIcon(const QString& name) {
    return QIcon(ImagePath(name));
}

QPixmap ImagePixmap(const QString& name, const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(ImagePath(name));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace quillet
