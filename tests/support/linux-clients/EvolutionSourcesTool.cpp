// Evolution's own library (libedataserver) on the session bus it is given, for the tests: makes
// an identity and its signature as Evolution makes them when the person adds them, and reads
// back what Evolution would load for each identity's signature.
//
//   evolution-sources add ADDRESS NAME [HTML_SIGNATURE]
//   evolution-sources read
//
// "read" prints one line per mail identity: its address, its signature uid ("none" for none),
// whether that names a signature ("enabled"), whether it is HTML, and the signature text that
// Evolution loads, in base64, separated by tabs.
#include <libedataserver/libedataserver.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Source = std::unique_ptr<ESource, void (*)(gpointer)>;

int Fail(const char* what, GError* error) {
    std::fprintf(stderr, "%s: %s\n", what, error ? error->message : "failed");
    if (error)
        g_error_free(error);
    return 1;
}

// A new source with the extension, committed to the registry; the extension is set up first.
template <typename Extension, typename SetUp>
bool Commit(ESourceRegistry* registry, const std::string& uid, const char* name,
            const char* extensionName, SetUp&& setUp, GError** error) {
    const Source source(e_source_new_with_uid(uid.c_str(), nullptr, nullptr), g_object_unref);
    e_source_set_display_name(source.get(), name);
    setUp(static_cast<Extension*>(e_source_get_extension(source.get(), extensionName)));
    return e_source_registry_commit_source_sync(registry, source.get(), nullptr, error);
}

// The signature first, as Evolution's editor commits it, then the identity that uses it.
int Add(ESourceRegistry* registry, int argc, char** argv) {
    const std::string signatureUid = argc > 2 ? std::string("signature-") + argv[0] : "none";
    GError* error = nullptr;
    if (argc > 2) {
        if (!Commit<ESourceMailSignature>(
                registry, signatureUid, argv[1], E_SOURCE_EXTENSION_MAIL_SIGNATURE,
                [](ESourceMailSignature* signature) {
                    e_source_mail_signature_set_mime_type(signature, "text/html");
                },
                &error))
            return Fail("commit", error);
        // Evolution writes the text through the source once the registry has it.
        const Source committed(e_source_registry_ref_source(registry, signatureUid.c_str()),
                               g_object_unref);
        if (!committed || !e_source_mail_signature_replace_sync(
                              committed.get(), argv[2], std::strlen(argv[2]), nullptr, &error))
            return Fail("replace text", error);
    }
    const auto setUp = [&](ESourceMailIdentity* identity) {
        e_source_mail_identity_set_address(identity, argv[0]);
        e_source_mail_identity_set_name(identity, argv[1]);
        e_source_mail_identity_set_signature_uid(identity, signatureUid.c_str());
    };
    return Commit<ESourceMailIdentity>(registry, argv[0], argv[0], E_SOURCE_EXTENSION_MAIL_IDENTITY,
                                       setUp, &error)
               ? 0
               : Fail("commit", error);
}

std::string SignatureFields(ESourceRegistry* registry, const char* uid) {
    const Source signature(uid ? e_source_registry_ref_source(registry, uid) : nullptr,
                           g_object_unref);
    if (!signature || !e_source_has_extension(signature.get(), E_SOURCE_EXTENSION_MAIL_SIGNATURE))
        return "disabled\tplain\t";
    const char* mimeType = e_source_mail_signature_get_mime_type(static_cast<ESourceMailSignature*>(
        e_source_get_extension(signature.get(), E_SOURCE_EXTENSION_MAIL_SIGNATURE)));
    std::string fields = mimeType && *mimeType ? "enabled\t" : "disabled\t";
    fields += mimeType && std::strcmp(mimeType, "text/html") == 0 ? "html\t" : "plain\t";
    gchar* contents = nullptr;
    gsize length = 0;
    if (e_source_mail_signature_load_sync(signature.get(), &contents, &length, nullptr, nullptr)) {
        gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(contents), length);
        fields += encoded;
        g_free(encoded);
        g_free(contents);
    }
    return fields;
}

int Read(ESourceRegistry* registry) {
    GList* sources = e_source_registry_list_sources(registry, E_SOURCE_EXTENSION_MAIL_IDENTITY);
    for (GList* item = sources; item; item = item->next) {
        auto* identity = static_cast<ESourceMailIdentity*>(e_source_get_extension(
            static_cast<ESource*>(item->data), E_SOURCE_EXTENSION_MAIL_IDENTITY));
        const gchar* address = e_source_mail_identity_get_address(identity);
        gchar* uid = e_source_mail_identity_dup_signature_uid(identity);
        std::printf("%s\t%s\t%s\n", address ? address : "", uid ? uid : "none",
                    SignatureFields(registry, uid).c_str());
        g_free(uid);
    }
    g_list_free_full(sources, g_object_unref);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    GError* error = nullptr;
    ESourceRegistry* registry = argc < 2 ? nullptr : e_source_registry_new_sync(nullptr, &error);
    if (!registry)
        return argc < 2 ? 2 : Fail("registry", error);
    int result = 2;
    if (std::strcmp(argv[1], "add") == 0 && (argc == 4 || argc == 5))
        result = Add(registry, argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "read") == 0)
        result = Read(registry);
    g_object_unref(registry);
    return result;
}
