#pragma once
// A GLib key file (Evolution's sources, Geary's account settings), read and written by GLib's own
// GLibKeyFile, the code those clients use: comments, group and key order and every other key stay
// as GLib keeps them, and values are escaped as the clients unescape them. Qt's settings classes
// would rewrite lists and quoting.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace quillet {

class GLibKeyFile {
public:
    // Absent when GLib cannot parse the text.
    static std::optional<GLibKeyFile> parse(const QByteArray& contents);
    GLibKeyFile(GLibKeyFile&&) noexcept;
    GLibKeyFile& operator=(GLibKeyFile&&) noexcept;
    ~GLibKeyFile();

    QByteArray contents() const;

    QStringList groups() const;
    bool hasGroup(const QString& group) const;
    // The unescaped string; absent when the group has no such key.
    std::optional<QString> string(const QString& group, const QString& key) const;
    // The key as a list of strings; absent when missing.
    std::optional<QStringList> stringList(const QString& group, const QString& key) const;
    // The key as a boolean; absent when missing or not one.
    std::optional<bool> boolean(const QString& group, const QString& key) const;
    // The value exactly as written in the file (escapes and all); absent when missing.
    std::optional<QString> rawValue(const QString& group, const QString& key) const;

    void setString(const QString& group, const QString& key, const QString& value);
    void setBoolean(const QString& group, const QString& key, bool value);
    void setRawValue(const QString& group, const QString& key, const QString& value);
    void removeKey(const QString& group, const QString& key);

private:
    struct Handle;
    explicit GLibKeyFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> _handle;
};

}  // namespace quillet
