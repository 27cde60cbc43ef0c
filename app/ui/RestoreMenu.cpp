#include "app/ui/RestoreMenu.h"

#include <QLocale>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include "app/core/Core.h"
#include "app/ui/UserNotifier.h"
#include "common/Localization.h"

namespace quillet {

namespace {

QString LocalTimeText(const QDateTime& time) {
    const QDateTime local = time.toLocalTime();
    // To the second: two points of one minute must not look the same.
    return QLocale().toString(local.date(), QLocale::LongFormat) + " " +
           local.time().toString("HH:mm:ss");
}

QString ClientNames(const RestorePoint& point) {
    // A point of Quillet's records alone: its pass found the clients holding what it wrote.
    if (point.clients.empty())
        return Localized("signatures only");
    QStringList names;
    for (ClientKind kind : point.clients)
        names << DisplayName(kind);
    return names.join(", ");
}

}  // namespace

RestoreMenu::RestoreMenu(Core& core, UserNotifier& notifier, QWidget* parent)
    : QMenu(Localized("Restore…"), parent), _core(core), _notifier(notifier) {
    setObjectName("restoreMenu");
    connect(this, &QMenu::aboutToShow, this, &RestoreMenu::reload);
    reload();
}

QString RestoreMenu::PointTitle(const RestorePoint& point) {
    return FillPlaceholders(Localized("%@ – before %@ (%@)"),
                            {LocalTimeText(point.time), point.reason, ClientNames(point)});
}

void RestoreMenu::reload() {
    clear();
    const std::vector<RestorePoint> points = _core.restorePoints().list();
    if (points.empty()) {
        addAction(Localized("No restore points"))->setEnabled(false);
        return;
    }
    for (const RestorePoint& point : points) {
        QAction* action = addAction(PointTitle(point) + "…");
        action->setEnabled(!_restoring);
        // Confirmation and restore change data and show alerts: on the next turn of the loop.
        connect(action, &QAction::triggered, this, [this, point] {
            QTimer::singleShot(0, this, [this, point] { confirmAndRestore(point); });
        });
    }
}

void RestoreMenu::confirmAndRestore(const RestorePoint& point) {
    if (_restoring)
        return;
    Alert alert;
    alert.style = AlertStyle::warning;
    alert.title = Localized("Restore Signatures");
    alert.informativeText = FillPlaceholders(
        Localized("Are you sure you want to put the signatures and %@ back as they were on %@, "
                  "before %@? What they hold now is kept as a new restore point."),
        {ClientNames(point), LocalTimeText(point.time), point.reason});
    alert.buttons = {Localized("Restore"), Localized("Cancel")};
    // Return keeps things as they are: a restore replaces the signatures in every client.
    alert.defaultButtonIndex = 1;
    if (_core.platform().prompter.ask(alert).button != Localized("Restore"))
        return;
    _restoring = true;
    reload();
    RestoreFromPoint(_core, point.id, {},
                     [menu = QPointer<RestoreMenu>(this), id = point.id,
                      alive = _core.lifetime()](const RestoreOutcome& outcome) {
                         if (menu && !alive.expired())
                             menu->restored(id, outcome);
                     });
}

void RestoreMenu::restored(const QString& id, const RestoreOutcome& outcome) {
    _restoring = false;
    reload();
    const std::optional<RestorePointError>& error = outcome.error;
    if (!error) {
        _core.logInfo("RestoreMenu: restored " + id);
        // What the person changed since stays, and they are told which.
        QStringList text{Localized("Your email signatures are back as they were.")};
        text << outcome.keptChanges;
        _notifier.deliver(Localized("Signatures Restored"), text.join("\n"));
    } else if (error->kind != RestorePointError::Kind::postponed) {
        // A postponed restore was the person's choice. A failed one may have shown the pass's
        // problems already, but not when the store could not be put back: said once more here
        // rather than never.
        _core.platform().prompter.ask(Alert{AlertStyle::critical,
                                            Localized("Could not restore signatures."),
                                            error->message,
                                            {Localized("OK")},
                                            {}});
    }
    emit finished(!error);
}

}  // namespace quillet
