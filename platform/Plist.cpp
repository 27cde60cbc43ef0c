#include "platform/Plist.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/BinaryPlistTexts.h"
#include "platform/PlistLimits.h"
#include "platform/WholeFile.h"

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

// A dictionary key's text. Keys never hold a NUL here: a binary list with one is refused before
// libplist reads it, and libplist's XML reader gives a key the length of its characters.
std::string KeyText(plist_t key) {
    char* text = nullptr;
    plist_get_key_val(key, &text);
    std::string result = text ? text : "";
    std::free(text);
    return result;
}

// Valid UTF-8: a damaged sequence becomes U+FFFD (libplist's binary writer cannot encode it
// and would write a list nothing can read).
std::string ValidUtf8(std::string_view text) {
    const QByteArray valid =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
    return std::string(valid.constData(), static_cast<std::size_t>(valid.size()));
}

std::string WithoutXmlForbiddenCharacters(std::string_view text) {
    std::string result(text);
    result.erase(std::remove_if(result.begin(), result.end(), IsForbiddenInXml), result.end());
    return result;
}

using TextMend = std::string (*)(std::string_view);

bool IsContainer(plist_t node) {
    const plist_type type = plist_get_node_type(node);
    return type == PLIST_ARRAY || type == PLIST_DICT;
}

// Calls visit(key, value) for each entry of a dictionary, in its order, until visit returns
// false.
template <typename Visit>
void ForEachEntry(plist_t dictionary, Visit visit) {
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(dictionary, &iter);
    for (;;) {
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iter, nullptr, &value);
        if (!value || !visit(KeyText(plist_dict_item_get_key(value)), value))
            break;
    }
    std::free(iter);
}

// Whether a string value reads differently once mended, or its recorded length is not that of
// its characters (see StringValue).
bool StringNeedsMending(plist_t node, TextMend mend) {
    uint64_t length = 0;
    plist_get_string_ptr(node, &length);
    const std::string_view text = StringValue(node);
    return text.size() != length || mend(text) != text;
}

// Whether some string value or dictionary key below the node needs mending. The walks here keep
// their own lists of what is left to visit: a list nested deep must not exhaust the stack.
bool NeedsMending(plist_t root, TextMend mend) {
    std::vector<plist_t> pending{root};
    while (!pending.empty()) {
        const plist_t node = pending.back();
        pending.pop_back();
        switch (plist_get_node_type(node)) {
            case PLIST_STRING:
                if (StringNeedsMending(node, mend))
                    return true;
                break;
            case PLIST_ARRAY:
                for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
                    pending.push_back(plist_array_get_item(node, i));
                break;
            case PLIST_DICT: {
                bool needed = false;
                ForEachEntry(node, [&](const std::string& key, plist_t value) {
                    needed = mend(key) != key;
                    pending.push_back(value);
                    return !needed;
                });
                if (needed)
                    return true;
                break;
            }
            default:
                break;
        }
    }
    return false;
}

// A mended string, or an empty container of the node's type, or a copy of any other value.
plist_t MendedShell(plist_t node, TextMend mend) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING:
            return plist_new_string(mend(StringValue(node)).c_str());
        case PLIST_ARRAY:
            return plist_new_array();
        case PLIST_DICT:
            return plist_new_dict();
        default:
            return plist_copy(node);
    }
}

// A copy of the node with every string value and dictionary key mended. Dictionaries are
// built anew rather than their keys renamed in place: libplist refuses to rename a key to one
// its dictionary already holds, and two damaged keys can mend to the same text. Then the later
// entry wins, in the place of the first, as in a dictionary given one key twice.
plist_t MendedCopy(plist_t root, TextMend mend) {
    const plist_t top = MendedShell(root, mend);
    std::vector<std::pair<plist_t, plist_t>> pending;  // (original, its copy still empty)
    if (IsContainer(root))
        pending.emplace_back(root, top);
    const auto added = [&](plist_t original, plist_t copy) {
        if (IsContainer(original))
            pending.emplace_back(original, copy);
    };
    while (!pending.empty()) {
        const auto [original, copy] = pending.back();
        pending.pop_back();
        if (plist_get_node_type(original) == PLIST_ARRAY) {
            for (uint32_t i = 0; i < plist_array_get_size(original); ++i) {
                const plist_t item = plist_array_get_item(original, i);
                const plist_t itemCopy = MendedShell(item, mend);
                plist_array_append_item(copy, itemCopy);
                added(item, itemCopy);
            }
            continue;
        }
        // Which entry each mended key takes, before any copy is made: a copy replaced by a
        // later entry of the same key would be gone while still waiting to be filled.
        std::vector<std::pair<std::string, plist_t>> entries;
        std::map<std::string, std::size_t> places;
        ForEachEntry(original, [&](const std::string& key, plist_t value) {
            const std::string mended = mend(key);
            const auto [place, isNew] = places.emplace(mended, entries.size());
            if (isNew)
                entries.emplace_back(mended, value);
            else
                entries[place->second].second = value;
            return true;
        });
        for (const auto& [key, value] : entries) {
            const plist_t valueCopy = MendedShell(value, mend);
            plist_dict_set_item(copy, key.c_str(), valueCopy);
            added(value, valueCopy);
        }
    }
    return top;
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

void PlistNode::replaceAt(int index, Plist value) {
    if (isArray() && index >= 0 && index < size())
        plist_array_set_item(_node, value.release(), static_cast<uint32_t>(index));
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

PlistRead Plist::parse(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max())
        return PlistReadFailure::notPropertyList;
    if (const auto breach = PlistLimitBreachOf(bytes)) {
        switch (*breach) {
            case PlistLimitBreach::tooDeep:
                return PlistReadFailure::nestedTooDeep;
            case PlistLimitBreach::tooLarge:
                return PlistReadFailure::tooLarge;
            case PlistLimitBreach::malformed:
                return PlistReadFailure::notPropertyList;
        }
    }
    if (BinaryPlistHasTextWithNul(bytes))
        return PlistReadFailure::textWithNul;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root)
        return PlistReadFailure::notPropertyList;
    if (!NeedsMending(root, ValidUtf8))
        return Plist(root);
    const Plist damaged(root);
    return Plist(MendedCopy(root, ValidUtf8));
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
    // XML cannot carry every text a list holds: a copy without those characters is written.
    const bool mend = NeedsMending(_root, WithoutXmlForbiddenCharacters);
    const Plist mended(mend ? MendedCopy(_root, WithoutXmlForbiddenCharacters) : nullptr);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(mend ? mended._root : _root, &xml, &length);
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

PlistRead ReadPlistFile(const QString& path) {
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes)
        return PlistReadFailure::unreadableFile;
    return Plist::parse(*bytes);
}

QString DescribePlistReadFailure(PlistReadFailure failure) {
    switch (failure) {
        case PlistReadFailure::unreadableFile:
            return QStringLiteral("the file could not be read");
        case PlistReadFailure::notPropertyList:
            return QStringLiteral("not a property list, or a damaged one");
        case PlistReadFailure::textWithNul:
            return QStringLiteral("a text holds a NUL character");
        case PlistReadFailure::nestedTooDeep:
            return QStringLiteral("nested deeper than %1 levels").arg(kPlistMaxDepth);
        case PlistReadFailure::tooLarge:
            return QStringLiteral(
                       "more than %1 values or %2 MiB of texts and data, counting a "
                       "shared value for every use")
                .arg(kPlistMaxNodes)
                .arg(kPlistMaxPayloadBytes / (1024 * 1024));
    }
    return {};
}

PlistRead::PlistRead(Plist plist) : _plist(std::move(plist)) {}
PlistRead::PlistRead(PlistReadFailure failure) : _failure(failure) {}

bool IsBinaryPlistData(const QByteArray& bytes) {
    return bytes.startsWith("bplist");
}

bool WritePlistFile(const QString& path, const Plist& plist, bool binary,
                    const FileAccess& access) {
    const QByteArray bytes = binary ? plist.toBinary() : plist.toXml();
    return !bytes.isEmpty() && !WriteFileAtomicallyOrFail(path, bytes, access);
}

}  // namespace quillet
