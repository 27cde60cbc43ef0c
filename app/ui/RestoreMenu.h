#pragma once
// The status item's "Restore…" menu: the restore points, newest first, read again each time the
// menu opens. Choosing one asks for confirmation, then puts the store and the clients back as
// that point holds them, through the engine as a sync pass does (closing running clients after
// asking). What the restore replaces is kept as a restore point of its own, so it can be undone.
//
// A point that is damaged or incomplete, or no longer there, is refused with an alert and nothing
// changes; a restore that fails says so in an alert (after the pass's problems alert, when the
// clients failed); one postponed with "Later" changes nothing and says nothing more.

#include <QMenu>
#include <optional>

#include "app/core/RestoreFromPoint.h"
#include "app/restore/RestorePoints.h"

namespace quillet {

class Core;
class UserNotifier;

class RestoreMenu : public QMenu {
    Q_OBJECT
public:
    RestoreMenu(Core& core, UserNotifier& notifier, QWidget* parent = nullptr);

    // Lists the restore points as they are now (also done whenever the menu is about to show).
    void reload();
    // Whether a restore is under way; the menu's points are disabled meanwhile.
    bool isRestoring() const { return _restoring; }

    // The menu item of a point: its local time, the change it came before, its clients.
    static QString PointTitle(const RestorePoint& point);

signals:
    // A restore ended (however it ended): the signatures may have been replaced by the store's.
    void finished(bool restored);

private:
    void confirmAndRestore(const RestorePoint& point);
    void restored(const QString& id, const RestoreOutcome& outcome);

    Core& _core;
    UserNotifier& _notifier;
    bool _restoring = false;
};

}  // namespace quillet
