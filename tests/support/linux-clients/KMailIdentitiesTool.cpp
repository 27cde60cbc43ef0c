// KDE's identity library (the one KMail reads its identities with) for the tests: adds an
// identity as KMail's identity settings do, and reads back what KMail would use.
//
//   kmail-identities add EMAIL NAME [HTML_SIGNATURE]
//   kmail-identities read
//
// "read" prints one line per identity: its address, its uoid, whether its signature is enabled,
// whether it is HTML, and the signature text KMail would insert, in base64, separated by tabs.
#include <KConfig>
#include <KConfigGroup>
#include <KIdentityManagement/Identity>
#include <KIdentityManagement/IdentityManager>
#include <KIdentityManagement/Signature>
#include <QCoreApplication>
#include <QRegularExpression>
#include <cstdio>

namespace {

int Add(const QStringList& arguments) {
    KIdentityManagement::IdentityManager manager(false);
    KIdentityManagement::Identity& identity = manager.newFromScratch(arguments.value(1));
    identity.setPrimaryEmailAddress(arguments.value(0));
    identity.setFullName(arguments.value(1));
    if (arguments.size() > 2) {
        KIdentityManagement::Signature signature(arguments.value(2));
        signature.setInlinedHtml(true);
        signature.setEnabledSignature(true);
        identity.setSignature(signature);
    }
    manager.commit();
    return 0;
}

int Read() {
    // Each identity group read by the library's own Identity, as its manager reads them.
    const KConfig config(QStringLiteral("emailidentities"));
    const QRegularExpression identityGroup(QStringLiteral("^Identity #\\d+$"));
    for (const QString& group : config.groupList()) {
        if (!identityGroup.match(group).hasMatch())
            continue;
        KIdentityManagement::Identity identity;
        identity.readConfig(config.group(group));
        const KIdentityManagement::Signature& signature = identity.signature();
        const bool enabled = signature.isEnabledSignature() &&
                             signature.type() != KIdentityManagement::Signature::Disabled;
        std::printf("%s\t%u\t%s\t%s\t%s\n", qPrintable(identity.primaryEmailAddress()),
                    identity.uoid(), enabled ? "enabled" : "disabled",
                    signature.isInlinedHtml() ? "html" : "plain",
                    signature.rawText().toUtf8().toBase64().constData());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("add") && arguments.size() >= 3)
        return Add(arguments.mid(1));
    if (arguments.value(0) == QLatin1String("read"))
        return Read();
    return 2;
}
