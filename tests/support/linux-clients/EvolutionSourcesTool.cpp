// Evolution's own library (libedataserver) on the session bus it is given, for the tests: makes
// sources as Evolution makes them when the person adds an identity or a signature, and reads
// back what Evolution would load for each identity's signature.
//
//   evolution-sources add-signature UID NAME MIME_TYPE TEXT
//   evolution-sources add-identity UID ADDRESS NAME SIGNATURE_UID
//   evolution-sources read
//
// "read" prints one line per mail identity: its address, its signature uid ("none" for none),
// the signature's MIME type and the signature text that Evolution loads, in base64 (empty when
// the uid names no signature), separated by tabs.
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

int AddSignature(ESourceRegistry* registry, char** argv) {
    GError* error = nullptr;
    ESource* source = e_source_new_with_uid(argv[0], nullptr, &error);
    if (!source)
        return Fail("new source", error);
    e_source_set_display_name(source, argv[1]);
    auto* extension = static_cast<ESourceMailSignature*>(
        e_source_get_extension(source, E_SOURCE_EXTENSION_MAIL_SIGNATURE));
    e_source_mail_signature_set_mime_type(extension, argv[2]);
    int result = Commit(registry, source);
    if (result == 0) {
        // Evolution writes the text through the source once the registry has it.
        ESource* committed = e_source_registry_ref_source(registry, argv[0]);
        if (!committed || !e_source_mail_signature_replace_sync(
                              committed, argv[3], std::strlen(argv[3]), nullptr, &error))
            result = Fail("replace text", error);
        if (committed)
            g_object_unref(committed);
    }
    g_object_unref(source);
    return result;
}

int AddIdentity(ESourceRegistry* registry, char** argv) {
    GError* error = nullptr;
    ESource* source = e_source_new_with_uid(argv[0], nullptr, &error);
    if (!source)
        return Fail("new source", error);
    e_source_set_display_name(source, argv[1]);
    auto* extension = static_cast<ESourceMailIdentity*>(
        e_source_get_extension(source, E_SOURCE_EXTENSION_MAIL_IDENTITY));
    e_source_mail_identity_set_address(extension, argv[1]);
    e_source_mail_identity_set_name(extension, argv[2]);
    e_source_mail_identity_set_signature_uid(extension, argv[3]);
    const int result = Commit(registry, source);
    g_object_unref(source);
    return result;
}

std::string SignatureLine(ESourceRegistry* registry, const char* uid) {
    ESource* signature = uid ? e_source_registry_ref_source(registry, uid) : nullptr;
    if (!signature || !e_source_has_extension(signature, E_SOURCE_EXTENSION_MAIL_SIGNATURE)) {
        if (signature)
            g_object_unref(signature);
        return "\t";
    }
    auto* extension = static_cast<ESourceMailSignature*>(
        e_source_get_extension(signature, E_SOURCE_EXTENSION_MAIL_SIGNATURE));
    std::string line = e_source_mail_signature_get_mime_type(extension)
                           ? e_source_mail_signature_get_mime_type(extension)
                           : "";
    gchar* contents = nullptr;
    gsize length = 0;
    if (e_source_mail_signature_load_sync(signature, &contents, &length, nullptr, nullptr)) {
        gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(contents), length);
        line += std::string("\t") + encoded;
        g_free(encoded);
        g_free(contents);
    } else {
        line += "\t";
    }
    g_object_unref(signature);
    return line;
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
                    SignatureLine(registry, uid).c_str());
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
    if (std::strcmp(argv[1], "add-signature") == 0 && argc == 6)
        result = AddSignature(registry, argv + 2);
    else if (std::strcmp(argv[1], "add-identity") == 0 && argc == 6)
        result = AddIdentity(registry, argv + 2);
    else if (std::strcmp(argv[1], "read") == 0)
        result = Read(registry);
    g_object_unref(registry);
    return result;
}
