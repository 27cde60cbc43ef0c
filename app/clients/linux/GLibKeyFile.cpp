#include "app/clients/linux/GLibKeyFile.h"

#include <glib.h>

namespace quillet {

namespace {

QString TakeText(gchar* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

}  // namespace

struct GLibKeyFile::Handle {
    ~Handle() { g_key_file_free(file); }
    ::GKeyFile* file = g_key_file_new();
};

GLibKeyFile::GLibKeyFile(std::unique_ptr<Handle> handle) : _handle(std::move(handle)) {}
GLibKeyFile::GLibKeyFile(GLibKeyFile&&) noexcept = default;
GLibKeyFile& GLibKeyFile::operator=(GLibKeyFile&&) noexcept = default;
GLibKeyFile::~GLibKeyFile() = default;

std::optional<GLibKeyFile> GLibKeyFile::parse(const QByteArray& contents) {
    auto handle = std::make_unique<Handle>();
    const auto flags =
        static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_data(handle->file, contents.constData(),
                                   static_cast<gsize>(contents.size()), flags, nullptr))
        return std::nullopt;
    return GLibKeyFile(std::move(handle));
}

QByteArray GLibKeyFile::contents() const {
    gsize length = 0;
    gchar* data = g_key_file_to_data(_handle->file, &length, nullptr);
    QByteArray contents(data, static_cast<qsizetype>(length));
    g_free(data);
    return contents;
}

QStringList GLibKeyFile::groups() const {
    QStringList groups;
    gchar** names = g_key_file_get_groups(_handle->file, nullptr);
    for (gchar** name = names; name && *name; ++name)
        groups.append(QString::fromUtf8(*name));
    g_strfreev(names);
    return groups;
}

bool GLibKeyFile::hasGroup(const QString& group) const {
    return g_key_file_has_group(_handle->file, group.toUtf8().constData());
}

std::optional<QString> GLibKeyFile::string(const QString& group, const QString& key) const {
    gchar* value = g_key_file_get_string(_handle->file, group.toUtf8().constData(),
                                         key.toUtf8().constData(), nullptr);
    if (!value)
        return std::nullopt;
    return TakeText(value);
}

std::optional<QStringList> GLibKeyFile::stringList(const QString& group, const QString& key) const {
    gchar** values = g_key_file_get_string_list(_handle->file, group.toUtf8().constData(),
                                                key.toUtf8().constData(), nullptr, nullptr);
    if (!values)
        return std::nullopt;
    QStringList list;
    for (gchar** value = values; *value; ++value)
        list.append(QString::fromUtf8(*value));
    g_strfreev(values);
    return list;
}

std::optional<bool> GLibKeyFile::boolean(const QString& group, const QString& key) const {
    GError* error = nullptr;
    const gboolean value = g_key_file_get_boolean(_handle->file, group.toUtf8().constData(),
                                                  key.toUtf8().constData(), &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return value != FALSE;
}

std::optional<QString> GLibKeyFile::rawValue(const QString& group, const QString& key) const {
    gchar* value = g_key_file_get_value(_handle->file, group.toUtf8().constData(),
                                        key.toUtf8().constData(), nullptr);
    if (!value)
        return std::nullopt;
    return TakeText(value);
}

void GLibKeyFile::setString(const QString& group, const QString& key, const QString& value) {
    g_key_file_set_string(_handle->file, group.toUtf8().constData(), key.toUtf8().constData(),
                          value.toUtf8().constData());
}

void GLibKeyFile::setBoolean(const QString& group, const QString& key, bool value) {
    g_key_file_set_boolean(_handle->file, group.toUtf8().constData(), key.toUtf8().constData(),
                           value ? TRUE : FALSE);
}

void GLibKeyFile::setRawValue(const QString& group, const QString& key, const QString& value) {
    g_key_file_set_value(_handle->file, group.toUtf8().constData(), key.toUtf8().constData(),
                         value.toUtf8().constData());
}

void GLibKeyFile::removeKey(const QString& group, const QString& key) {
    g_key_file_remove_key(_handle->file, group.toUtf8().constData(), key.toUtf8().constData(),
                          nullptr);
}

}  // namespace quillet
