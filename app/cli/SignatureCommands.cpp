#include "app/cli/SignatureCommands.h"

#include "app/cli/CommandSupport.h"
#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/core/PendingInstallations.h"
#include "app/managed/ManagedSignatures.h"
#include "common/Localization.h"
#include "common/Text.h"

namespace quillet {

namespace {

// The signature named by the first of exactly `count` positional arguments; 2 for a usage
// error, 1 for no such signature.
struct Target {
    std::optional<SignatureId> id;
    QStringList positional;
    int status = 0;
};

enum class IfManaged { allow, refuse };

Target FindTarget(Session& session, const QString& command, int count, const QString& usage,
                  IfManaged ifManaged) {
    const auto arguments = Arguments(session, {}, {}, count);
    if (!arguments)
        return {std::nullopt, {}, 2};
    if (arguments->positional.size() != count) {
        PrintError(command + " needs " + usage);
        return {std::nullopt, {}, 2};
    }
    const auto id = ResolveSignature(session.core(), arguments->positional.first());
    if (!id)
        return {std::nullopt, {}, 1};
    // The organisation installs, updates and removes its signatures; only their colour is the
    // person's.
    if (ifManaged == IfManaged::refuse && session.core().managed().isManaged(*id)) {
        ShowAlert(session.core(), AlertStyle::critical, ManagedSignatures::managedSignatureTitle(),
                  ManagedSignatures::managedSignatureText());
        return {std::nullopt, {}, 1};
    }
    return {id, arguments->positional, 0};
}

}  // namespace

int RunUpdateCommand(Session& session) {
    const Target target = FindTarget(session, "update", 1, "one signature", IfManaged::refuse);
    if (!target.id)
        return target.status;
    return RunAndWait(session, [&] { session.core().reinstallSignature(*target.id); });
}

int RunRenameCommand(Session& session) {
    const Target target =
        FindTarget(session, "rename", 2, "a signature and a name", IfManaged::refuse);
    if (!target.id)
        return target.status;
    Core& core = session.core();
    Signature& signature = *core.signature(*target.id);
    const QString name = NormaliseTypedText(target.positional.at(1));
    if (name.isEmpty()) {
        PrintError("a signature's name cannot be empty; it stays " + signature.nameQe);
        return 1;
    }
    // The same name again changes nothing, unless an earlier rename has not reached a client
    // that a pass can write now (Outlook refused a name its person already uses): the pass is
    // tried again, and the command says how it went rather than succeeding on the store's word.
    if (name == signature.nameQe && !PassCanDoPendingWork(signature, core.pendingScope()))
        return 0;
    return RunAndWait(session, [&] {
        signature.nameQe = name;
        core.saveSignature(*target.id, true, true);
    });
}

int RunColorCommand(Session& session) {
    const Target target =
        FindTarget(session, "color", 2, "a signature and a colour index", IfManaged::allow);
    if (!target.id)
        return target.status;
    const auto index = ColorIndexFromArgument(target.positional.at(1), "color");
    if (!index)
        return 2;
    Core& core = session.core();
    core.signature(*target.id)->colorIndex = *index;
    core.saveSignature(*target.id, false, false);  // a colour is not written into any client
    session.waitUntilIdle();
    return 0;
}

int RunUninstallCommand(Session& session) {
    const Target target = FindTarget(session, "uninstall", 1, "one signature", IfManaged::refuse);
    if (!target.id)
        return target.status;
    Core& core = session.core();
    Signature& signature = *core.signature(*target.id);
    const Answer answer = core.platform().prompter.ask(
        Alert{AlertStyle::warning,
              Localized("Uninstall Signature"),
              FillPlaceholders(Localized("Are you sure you want to uninstall signature \"%@\"?"),
                               {signature.nameQe}),
              {Localized("Uninstall"), Localized("Cancel")},
              {}});
    if (answer.buttonIndex != 0) {
        PrintError("the signature was not uninstalled (Cancel)");
        return 0;
    }
    return RunAndWait(session, [&] {
        signature.pendingDeletion = true;
        core.saveSignature(*target.id, true, true);
    });
}

}  // namespace quillet
