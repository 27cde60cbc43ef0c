#include "platform/Plist.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/AtomicFile.h"
#include "platform/BinaryPlistTexts.h"

namespace quillet {

bool PlistNode::isDictionary() const {
    return _node && plist_get_node_type(_node) == PLIST_DICT;
}
bool PlistNode::isArray() const {
    return _node && plist_get_node_type(_node) == PLIST_ARRAY;
}
bool PlistNode::isString() const {
    return _node && plist_get_node_type(_node) == PLIST_STRING;
}

namespace {

// libplist keeps a string's text NUL-terminated, but its XML reader gives a string with a NUL
// byte in it the length of the whole text while keeping only the part before the NUL: the text
// ends at the first NUL, whatever length is reported.
std::string_view StringValue(plist_t node) {
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::string_view(text, strnlen(text, length)) : std::string_view();
}

// XML 1.0 allows no control character but tab, line feed and carriage return, and libplist's
// writer copies them raw: one of them in a name would make the whole file unreadable.
bool IsForbiddenInXml(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Calls visit with every string value and every dictionary key below the node.
template <typename Visit>
void ForEachText(plist_t node, const Visit& visit) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING:
            visit(node);
            break;
        case PLIST_ARRAY:
            for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
                ForEachText(plist_array_get_item(node, i), visit);
            break;
        case PLIST_DICT: {
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            for (;;) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iter, &key, &value);
                std::free(key);
                if (!value)
                    break;
                visit(plist_dict_item_get_key(value));
                ForEachText(value, visit);
            }
            std::free(iter);
            break;
        }
        default:
            break;
    }
}

// Mends every text below the node as libplist's writers need it: its recorded length is that
// of its characters (see StringValue), and it is valid UTF-8 (a damaged sequence becomes
// U+FFFD; the binary writer cannot encode it otherwise and writes a list nothing can read).
void MendTexts(plist_t root) {
    ForEachText(root, [](plist_t node) {
        if (plist_get_node_type(node) == PLIST_KEY) {
            char* key = nullptr;
            plist_get_key_val(node, &key);
            if (key)
                plist_set_key_val(node, QString::fromUtf8(key).toUtf8().constData());
            std::free(key);
            return;
        }
        uint64_t length = 0;
        plist_get_string_ptr(node, &length);
        const std::string_view text = StringValue(node);
        const QByteArray valid =
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
        if (text.size() != length || std::string_view(valid.constData(), valid.size()) != text)
            plist_set_string_val(node, valid.constData());
    });
}

// Drops the forbidden characters from every string value and dictionary key below the node.
// Only a written copy is changed, never looked up in, so a changed key needs no rehashing.
void DropXmlForbiddenCharacters(plist_t root) {
    ForEachText(root, [](plist_t node) {
        const bool isKey = plist_get_node_type(node) == PLIST_KEY;
        std::string value;
        if (isKey) {
            char* key = nullptr;
            plist_get_key_val(node, &key);
            value = key ? key : "";
            std::free(key);
        } else {
            value = StringValue(node);
        }
        if (std::find_if(value.begin(), value.end(), IsForbiddenInXml) == value.end())
            return;
        value.erase(std::remove_if(value.begin(), value.end(), IsForbiddenInXml), value.end());
        if (isKey)
            plist_set_key_val(node, value.c_str());
        else
            plist_set_string_val(node, value.c_str());
    });
}

}  // namespace

std::optional<QString> PlistNode::asString() const {
    if (!isString())
        return std::nullopt;
    const std::string_view text = StringValue(_node);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<bool> PlistNode::asBool() const {
    if (!_node || plist_get_node_type(_node) != PLIST_BOOLEAN)
        return std::nullopt;
    uint8_t value = 0;
    plist_get_bool_val(_node, &value);
    return value != 0;
}

std::optional<std::int64_t> PlistNode::asInteger() const {
    if (!_node || plist_get_node_type(_node) != PLIST_UINT)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(_node, &value);
    // libplist keeps every integer as 64 unsigned bits; negative numbers are two's complement.
    return static_cast<std::int64_t>(value);
}

std::optional<QByteArray> PlistNode::asData() const {
    if (!_node || plist_get_node_type(_node) != PLIST_DATA)
        return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(_node, &length);
    return QByteArray(bytes, static_cast<qsizetype>(length));
}

std::optional<PlistNode> PlistNode::get(const QString& key) const {
    if (!isDictionary())
        return std::nullopt;
    plist_t item = plist_dict_get_item(_node, key.toUtf8().constData());
    if (!item)
        return std::nullopt;
    return PlistNode(item);
}

std::optional<QString> PlistNode::dictionaryString(const QString& key) const {
    const auto item = get(key);
    return item ? item->asString() : std::nullopt;
}

QStringList PlistNode::keys() const {
    QStringList result;
    if (!isDictionary())
        return result;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(_node, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(_node, iter, &key, &value);
        if (!key)
            break;
        result.append(QString::fromUtf8(key));
        std::free(key);
    }
    std::free(iter);
    return result;
}

void PlistNode::set(const QString& key, Plist value) {
    if (isDictionary())
        plist_dict_set_item(_node, key.toUtf8().constData(), value.release());
}

void PlistNode::remove(const QString& key) {
    if (isDictionary())
        plist_dict_remove_item(_node, key.toUtf8().constData());
}

int PlistNode::size() const {
    return isArray() ? static_cast<int>(plist_array_get_size(_node)) : 0;
}

std::optional<PlistNode> PlistNode::at(int index) const {
    if (index < 0 || index >= size())
        return std::nullopt;
    return PlistNode(plist_array_get_item(_node, static_cast<uint32_t>(index)));
}

void PlistNode::append(Plist value) {
    if (isArray())
        plist_array_append_item(_node, value.release());
}

void PlistNode::removeAt(int index) {
    if (index >= 0 && index < size())
        plist_array_remove_item(_node, static_cast<uint32_t>(index));
}

Plist Plist::dictionary() {
    return Plist(plist_new_dict());
}
Plist Plist::array() {
    return Plist(plist_new_array());
}
Plist Plist::string(const QString& text) {
    return Plist(plist_new_string(text.toUtf8().constData()));
}
Plist Plist::boolean(bool value) {
    return Plist(plist_new_bool(value ? 1 : 0));
}
Plist Plist::integer(std::int64_t value) {
    return Plist(plist_new_uint(static_cast<uint64_t>(value)));
}
Plist Plist::data(const QByteArray& bytes) {
    return Plist(plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size())));
}

Plist Plist::copyOf(const PlistNode& node) {
    return Plist(node.raw() ? plist_copy(node.raw()) : nullptr);
}

std::optional<Plist> Plist::parse(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max() ||
        BinaryPlistHasTextWithNul(bytes))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root)
        return std::nullopt;
    MendTexts(root);
    return Plist(root);
}

Plist::Plist(const Plist& other) : _root(other._root ? plist_copy(other._root) : nullptr) {}

Plist& Plist::operator=(const Plist& other) {
    if (this != &other) {
        Plist copy(other);
        std::swap(_root, copy._root);
    }
    return *this;
}

Plist::Plist(Plist&& other) noexcept : _root(other._root) {
    other._root = nullptr;
}

Plist& Plist::operator=(Plist&& other) noexcept {
    std::swap(_root, other._root);
    return *this;
}

Plist::~Plist() {
    if (_root)
        plist_free(_root);
}

// libplist 2.2 reports no errors: a writer that failed leaves its output pointer null, which
// gives empty bytes here (and WritePlistFile refuses to write them).
QByteArray Plist::toXml() const {
    if (!_root)
        return {};
    Plist safe(*this);
    DropXmlForbiddenCharacters(safe._root);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(safe._root, &xml, &length);
    if (!xml)
        return {};
    QByteArray result(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return result;
}

QByteArray Plist::toBinary() const {
    if (!_root)
        return {};
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(_root, &bin, &length);
    if (!bin)
        return {};
    QByteArray result(bin, static_cast<qsizetype>(length));
    plist_to_bin_free(bin);
    return result;
}

plist_t Plist::release() {
    plist_t root = _root;
    _root = nullptr;
    return root;
}

std::optional<Plist> ReadPlistFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Plist::parse(file.readAll());
}

bool IsBinaryPlistData(const QByteArray& bytes) {
    return bytes.startsWith("bplist");
}

bool WritePlistFile(const QString& path, const Plist& plist, bool binary) {
    const QByteArray bytes = binary ? plist.toBinary() : plist.toXml();
    return !bytes.isEmpty() && WriteFileAtomically(path, bytes);
}

}  // namespace quillet
