#pragma once
// DraggableAppIconView: the application's icon, which the person drags into a list of System
// Settings; the drag carries the application's file URL, as a Finder drag of the app would.

#include <QLabel>
#include <QPoint>

class QMimeData;

namespace quillet {

class DraggableAppIconView : public QLabel {
public:
    DraggableAppIconView(QString appPath, QWidget* parent = nullptr);

    // What a drag carries: the file URL of the application.
    QMimeData* createMimeData() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString _appPath;
    QPoint _pressPosition;
    bool _pressed = false;
};

}  // namespace quillet
