#pragma once
// Property lists (XML and binary) over libplist: an owning value and non-owning views into it.
// Reading never throws: a node of the wrong type reads as absent, and bytes that are no list
// give a PlistRead that says why.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include <plist/plist.h>

#include "platform/FileAccess.h"

namespace quillet {

class Plist;
class PlistRead;

// A view of one node inside a property list; valid while the owning Plist lives and the node
// is not removed.
class PlistNode {
public:
    explicit PlistNode(plist_t node) : _node(node) {}

    bool isDictionary() const;
    bool isArray() const;
    bool isString() const;

    std::optional<QString> asString() const;
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<QByteArray> asData() const;

    // Dictionary access; absent when this is not a dictionary or has no such key.
    std::optional<PlistNode> get(const QString& key) const;
    std::optional<QString> dictionaryString(const QString& key) const;
    QStringList keys() const;  // in the dictionary's order
    // Sets (replacing) a dictionary entry, taking ownership of the value.
    void set(const QString& key, Plist value);
    void remove(const QString& key);

    // Array access.
    int size() const;
    std::optional<PlistNode> at(int index) const;
    void append(Plist value);  // takes ownership
    // Replaces the element at the index (in place), taking ownership of the value.
    void replaceAt(int index, Plist value);
    void removeAt(int index);

    plist_t raw() const { return _node; }

private:
    plist_t _node;
};

// An owning root (or detached) property-list value.
class Plist {
public:
    static Plist dictionary();
    static Plist array();
    static Plist string(const QString& text);
    static Plist boolean(bool value);
    static Plist integer(std::int64_t value);
    static Plist data(const QByteArray& bytes);

    // A detached deep copy of a node.
    static Plist copyOf(const PlistNode& node);

    // Parses XML or binary property-list bytes. Bytes that break the limits (PlistLimits) or
    // hold what libplist cannot (BinaryPlistTexts) are refused before libplist reads them.
    static PlistRead parse(const QByteArray& bytes);

    Plist(const Plist& other);
    Plist& operator=(const Plist& other);
    Plist(Plist&& other) noexcept;
    Plist& operator=(Plist&& other) noexcept;
    ~Plist();

    PlistNode node() const { return PlistNode(_root); }
    // Shortcuts for the root node.
    bool isDictionary() const { return node().isDictionary(); }
    std::optional<QString> dictionaryString(const QString& key) const {
        return node().dictionaryString(key);
    }

    // The serialised list; empty when libplist could not write it. The XML form drops from
    // string values the control characters that XML cannot carry (all below U+0020 except tab,
    // line feed and carriage return).
    QByteArray toXml() const;
    QByteArray toBinary() const;

    plist_t release();  // hands the node to libplist (a container takes ownership)

private:
    explicit Plist(plist_t root) : _root(root) {}
    plist_t _root;
};

// Why bytes or a file gave no property list.
enum class PlistReadFailure {
    unreadableFile,   // missing, or could not be read
    notPropertyList,  // neither form, or damaged
    textWithNul,      // a binary list with a NUL in a text
    nestedTooDeep,    // deeper than kPlistMaxDepth, or holding itself
    tooLarge,         // beyond kPlistMaxNodes or kPlistMaxPayloadBytes
};
// "nested deeper than 512 levels", for a log line.
QString DescribePlistReadFailure(PlistReadFailure failure);

// A list read, or why none was. Used like an optional list.
class PlistRead {
public:
    PlistRead(Plist plist);               // NOLINT: a list read is a PlistRead
    PlistRead(PlistReadFailure failure);  // NOLINT: so is a failure

    bool has_value() const { return _plist.has_value(); }
    explicit operator bool() const { return has_value(); }
    const Plist& operator*() const { return *_plist; }
    Plist& operator*() { return *_plist; }
    const Plist* operator->() const { return &*_plist; }
    Plist* operator->() { return &*_plist; }
    // The list, or nothing.
    std::optional<Plist> take() && { return std::move(_plist); }

    // Meaningful only without a list.
    PlistReadFailure failure() const { return _failure; }
    QString failureText() const { return DescribePlistReadFailure(_failure); }

private:
    std::optional<Plist> _plist;
    PlistReadFailure _failure = PlistReadFailure::notPropertyList;
};

// Reads and parses a property-list file.
PlistRead ReadPlistFile(const QString& path);
// True when the bytes are a binary property list (as opposed to XML).
bool IsBinaryPlistData(const QByteArray& bytes);
// Writes the list atomically as XML (or binary), with the permissions `access` says. False when
// the list cannot be serialised or the write fails; the previous file then stays.
bool WritePlistFile(const QString& path, const Plist& plist, bool binary = false,
                    const FileAccess& access = FileAccess::ofTarget());

}  // namespace quillet
