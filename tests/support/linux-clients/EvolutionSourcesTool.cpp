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
#include <string>

namespace {

int Fail(const char* what, GError* error) {
    std::fprintf(stderr, "%s: %s\n", what, error ? error->message : "failed");
    if (error)
        g_error_free(error);
    return 1;
}

int Commit(ESourceRegistry* registry, ESource* source) {
    GError* error = nullptr;
    if (!e_source_registry_commit_source_sync(registry, source, nullptr, &error))
        return Fail("commit", error);
    return 0;
}

ESource* NewSource(const std::string& uid, const char* name, const char* extensionName,
                   gpointer* extension) {
    ESource* source = e_source_new_with_uid(uid.c_str(), nullptr, nullptr);
    e_source_set_display_name(source, name);
    *extension = e_source_get_extension(source, extensionName);
    return source;
}

// The signature first, as Evolution's editor commits it, then the identity that uses it.
int Add(ESourceRegistry* registry, int argc, char** argv) {
    const std::string signatureUid = argc > 2 ? std::string("signature-") + argv[0] : "none";
    gpointer extension = nullptr;
    int result = 0;
    if (argc > 2) {
        ESource* source =
            NewSource(signatureUid, argv[1], E_SOURCE_EXTENSION_MAIL_SIGNATURE, &extension);
        e_source_mail_signature_set_mime_type(static_cast<ESourceMailSignature*>(extension),
                                              "text/html");
        result = Commit(registry, source);
        g_object_unref(source);
        // Evolution writes the text through the source once the registry has it.
        GError* error = nullptr;
        ESource* committed = e_source_registry_ref_source(registry, signatureUid.c_str());
        if (result == 0 &&
            (!committed || !e_source_mail_signature_replace_sync(
                               committed, argv[2], std::strlen(argv[2]), nullptr, &error)))
            result = Fail("replace text", error);
        if (committed)
            g_object_unref(committed);
    }
    ESource* source = NewSource(argv[0], argv[0], E_SOURCE_EXTENSION_MAIL_IDENTITY, &extension);
    auto* identity = static_cast<ESourceMailIdentity*>(extension);
    e_source_mail_identity_set_address(identity, argv[0]);
    e_source_mail_identity_set_name(identity, argv[1]);
    e_source_mail_identity_set_signature_uid(identity, signatureUid.c_str());
    if (result == 0)
        result = Commit(registry, source);
    g_object_unref(source);
    return result;
}

std::string SignatureFields(ESourceRegistry* registry, const char* uid) {
    ESource* signature = uid ? e_source_registry_ref_source(registry, uid) : nullptr;
    if (!signature || !e_source_has_extension(signature, E_SOURCE_EXTENSION_MAIL_SIGNATURE)) {
        if (signature)
            g_object_unref(signature);
        return "disabled\tplain\t";
    }
    auto* extension = static_cast<ESourceMailSignature*>(
        e_source_get_extension(signature, E_SOURCE_EXTENSION_MAIL_SIGNATURE));
    const char* mimeType = e_source_mail_signature_get_mime_type(extension);
    std::string fields = mimeType && *mimeType ? "enabled\t" : "disabled\t";
    fields += mimeType && std::strcmp(mimeType, "text/html") == 0 ? "html\t" : "plain\t";
    gchar* contents = nullptr;
    gsize length = 0;
    if (e_source_mail_signature_load_sync(signature, &contents, &length, nullptr, nullptr)) {
        gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(contents), length);
        fields += encoded;
        g_free(encoded);
        g_free(contents);
    }
    g_object_unref(signature);
    return fields;
}

int Read(ESourceRegistry* registry) {
    GList* sources = e_source_registry_list_sources(registry, E_SOURCE_EXTENSION_MAIL_IDENTITY);
    for (GList* item = sources; item; item = item->next) {
        auto* source = static_cast<ESource*>(item->data);
        auto* identity = static_cast<ESourceMailIdentity*>(
            e_source_get_extension(source, E_SOURCE_EXTENSION_MAIL_IDENTITY));
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
    if (argc < 2)
        return 2;
    GError* error = nullptr;
    ESourceRegistry* registry = e_source_registry_new_sync(nullptr, &error);
    if (!registry)
        return Fail("registry", error);
    int result = 2;
    if (std::strcmp(argv[1], "add") == 0 && (argc == 4 || argc == 5))
        result = Add(registry, argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "read") == 0)
        result = Read(registry);
    g_object_unref(registry);
    return result;
}
