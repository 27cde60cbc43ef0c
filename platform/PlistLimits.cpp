#include "platform/PlistLimits.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/BinaryPlistLayout.h"

namespace quillet {

namespace {

using Breach = std::optional<PlistLimitBreach>;

// What a subtree costs, counted up to just past the limits.
struct Totals {
    std::uint64_t nodes = 0;
    std::uint64_t payloadBytes = 0;
    int height = 0;  // containers nested in the subtree, itself included

    void add(const Totals& other) {
        nodes = std::min(nodes + other.nodes, kPlistMaxNodes + 1);
        payloadBytes = std::min(payloadBytes + other.payloadBytes, kPlistMaxPayloadBytes + 1);
    }
    bool exceeded() const { return nodes > kPlistMaxNodes || payloadBytes > kPlistMaxPayloadBytes; }
};

// --- Binary lists -------------------------------------------------------------------------

// One object as libplist reads it: its own node and payload, and for a container the
// references that follow its marker (a dictionary's keys, then its values).
struct BinaryObject {
    Totals own{1, 0, 0};
    bool container = false;
    std::uint64_t referencesAt = 0;
    std::uint64_t references = 0;
};

BinaryObject ReadObject(const BinaryPlistLayout& plist, std::uint64_t index) {
    BinaryObject object;
    const auto offset = plist.objectOffset(index);
    const auto marker = offset ? plist.marker(*offset) : std::nullopt;
    if (!marker)
        return object;  // libplist fails on it: it holds nothing
    const std::uint64_t length = std::min(marker->length, kPlistMaxPayloadBytes + 1);
    switch (marker->type) {
        case BinaryPlistLayout::kData:
        case BinaryPlistLayout::kAsciiString:
            object.own.payloadBytes = length;
            return object;
        case BinaryPlistLayout::kUtf16String:
            object.own.payloadBytes = 2 * length;
            return object;
        case BinaryPlistLayout::kArray:
        case BinaryPlistLayout::kSet:
        case BinaryPlistLayout::kDictionary:
            break;
        default:
            return object;
    }
    object.container = true;
    object.referencesAt = marker->contents;
    // Only the references within the bytes: libplist fails at the first one beyond them.
    const std::uint64_t room = plist.size() - std::min(plist.size(), marker->contents);
    const std::uint64_t wanted = marker->type == BinaryPlistLayout::kDictionary
                                     ? 2 * std::min(marker->length, room)
                                     : marker->length;
    object.references = std::min(wanted, room / plist.referenceSize());
    return object;
}

// libplist builds a tree: an object is parsed anew for every reference to it. The walk follows
// the references depth first, as libplist does, and keeps what each finished container costs,
// so that a shared one is counted again without being walked again: linear in the bytes. What
// libplist would have built at any moment stays within the limits, so a list it refuses
// halfway cannot cost more either.
Breach BinaryBreach(const BinaryPlistLayout& plist) {
    struct Frame {
        std::uint64_t index;
        BinaryObject object;
        std::uint64_t next;
        Totals totals;
    };
    std::vector<Frame> stack;
    std::unordered_map<std::uint64_t, Totals> finished;
    std::unordered_set<std::uint64_t> entered;
    Totals built;  // what libplist holds at this point of its walk

    const auto completed = [&](const Totals& child) {
        if (stack.empty())
            return;
        Totals& parent = stack.back().totals;
        parent.add(child);
        parent.height = std::max(parent.height, child.height + 1);
    };
    const auto visit = [&](std::uint64_t index) -> Breach {
        const auto depth = static_cast<int>(stack.size());
        if (const auto found = finished.find(index); found != finished.end()) {
            if (depth + found->second.height > kPlistMaxDepth)
                return PlistLimitBreach::tooDeep;
            built.add(found->second);
            completed(found->second);
        } else if (entered.contains(index)) {
            return PlistLimitBreach::tooDeep;  // a container holding itself never ends
        } else {
            BinaryObject object = ReadObject(plist, index);
            built.add(object.own);
            if (object.container) {
                if (depth + 1 > kPlistMaxDepth)
                    return PlistLimitBreach::tooDeep;
                entered.insert(index);
                Totals totals = object.own;
                totals.height = 1;
                stack.push_back(Frame{index, object, 0, totals});
            } else {
                completed(object.own);
            }
        }
        return built.exceeded() ? Breach(PlistLimitBreach::tooLarge) : std::nullopt;
    };

    if (const Breach breach = visit(plist.topObject()))
        return breach;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.object.references) {
            const Frame done = frame;
            stack.pop_back();
            entered.erase(done.index);
            finished.emplace(done.index, done.totals);
            completed(done.totals);
            continue;
        }
        const std::uint64_t width = plist.referenceSize();
        const auto child = plist.number(frame.object.referencesAt + frame.next++ * width, width);
        if (!child || *child >= plist.objectCount())
            continue;  // libplist fails on it
        if (const Breach breach = visit(*child))
            return breach;
    }
    return std::nullopt;
}

// --- XML lists ----------------------------------------------------------------------------

// libplist 2.2's XML reader, followed token by token: where it skips (processing
// instructions, comments, the document type, text and CDATA inside a value, quoted attribute
// values), this skips exactly the same bytes, so every tag it sees is seen here, and every
// container it opens is counted. Where it stops on an error this stops too; where it would
// stop for a reason not followed here (a dictionary value without a key), this goes on, which
// can only count more.
class XmlScan {
public:
    explicit XmlScan(const QByteArray& bytes)
        : _at(bytes.constData()), _end(bytes.constData() + bytes.size()) {}

    Breach run();

private:
    enum class Open { plist, array, dictionary };

    bool startsWith(std::string_view text) const {
        return _end - _at >= static_cast<std::ptrdiff_t>(text.size()) &&
               std::memcmp(_at, text.data(), text.size()) == 0;
    }
    void skipSpace() {
        while (_at < _end && (*_at == ' ' || *_at == '\t' || *_at == '\r' || *_at == '\n'))
            ++_at;
    }
    // Past a quoted value: to its closing quote (or the end, when there is none).
    void skipQuoted() {
        ++_at;
        while (_at < _end && *_at != '"')
            ++_at;
    }
    // To the text, which must then be checked for: the reader looks no further than where the
    // whole text still fits, and checks that last place only after the loop.
    bool findText(std::string_view text, bool skipQuotes);
    // To the first of the characters.
    void findAny(std::string_view characters, bool skipQuotes);
    // Past a value's text to its closing tag ("</" + name + spaces + ">"); false on an error.
    bool skipValueText(std::string_view name, std::size_t nameLength);
    bool skipDocumentType();

    const char* _at;
    const char* _end;
    std::vector<Open> _open;  // what the reader's path of open elements holds
    int _parentDepth = 0;     // the depth of the container that takes the next value (0: none)
    std::uint64_t _nodes = 0;
    bool _hasContent = false;
};

bool XmlScan::findText(std::string_view text, bool skipQuotes) {
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    while (_end - _at > length) {
        if (std::memcmp(_at, text.data(), text.size()) == 0)
            break;
        if (skipQuotes && *_at == '"') {
            skipQuoted();
            if (_at >= _end)
                return false;
        }
        ++_at;
    }
    return startsWith(text);
}

void XmlScan::findAny(std::string_view characters, bool skipQuotes) {
    while (_at < _end) {
        if (skipQuotes && *_at == '"') {
            skipQuoted();
            if (_at >= _end)
                return;
        }
        if (characters.find(*_at) != std::string_view::npos)
            return;
        ++_at;
    }
}

bool XmlScan::skipValueText(std::string_view name, std::size_t nameLength) {
    for (;;) {
        while (_at < _end && *_at != '<')
            ++_at;
        if (_end - _at < 2)
            return false;
        ++_at;
        if (*_at == '/')
            break;
        if (*_at != '!' || ++_at >= _end - 1)
            return false;
        if (startsWith("--")) {
            _at += 2;
            if (!findText("-->", false))
                return false;
            _at += 3;
        } else if (*_at == '[' && ++_at < _end - 8 && startsWith("CDATA[")) {
            _at += 6;
            if (!findText("]]>", false))
                return false;
            _at += 3;
        } else {
            return false;
        }
    }
    ++_at;
    // The closing name is compared as C compares the opening one's copy: up to its length,
    // or to a NUL where the opening name ended early.
    if (_end - _at <= static_cast<std::ptrdiff_t>(nameLength))
        return false;
    for (std::size_t i = 0; i < nameLength; ++i) {
        const char expected = i < name.size() ? name[i] : '\0';
        if (_at[i] != expected)
            return false;
        if (expected == '\0')
            break;
    }
    _at += nameLength;
    skipSpace();
    if (_at >= _end || *_at != '>')
        return false;
    ++_at;
    return true;
}

bool XmlScan::skipDocumentType() {
    _at += 8;
    while (_at < _end) {
        findAny(" \t\r\n[>", true);
        if (_at >= _end)
            return false;
        if (*_at == '[') {
            if (!findText("]>", true))
                return false;
            _at += 2;
            return true;
        }
        if (*_at == '>') {
            ++_at;
            return true;
        }
        skipSpace();
    }
    return true;
}

Breach XmlScan::run() {
    while (_at < _end) {
        skipSpace();
        if (_at >= _end)
            break;
        if (*_at != '<' || ++_at >= _end)
            return std::nullopt;
        if (*_at == '?') {
            if (!findText("?>", true))
                return std::nullopt;
            _at += 2;
            continue;
        }
        if (*_at == '!') {
            if (_end - _at > 3 && startsWith("!--")) {
                _at += 3;
                if (!findText("-->", false))
                    return std::nullopt;
                _at += 3;
            } else if (!(_end - _at > 8 && startsWith("!DOCTYPE")) || !skipDocumentType()) {
                return std::nullopt;
            }
            continue;
        }
        const char* nameStart = _at;
        findAny(" \r\n\t<>", false);
        if (_at >= _end)
            return std::nullopt;
        const auto nameLength = static_cast<std::size_t>(_at - nameStart);
        if (*_at != '>')
            findAny("<>", true);
        if (_at >= _end || *_at != '>')
            return std::nullopt;
        const bool empty = _at[-1] == '/';
        std::size_t kept = nameLength;
        if (empty && static_cast<std::size_t>(_at - nameStart - 1) < nameLength)
            kept = static_cast<std::size_t>(_at - nameStart - 1);
        ++_at;
        // The reader copies the name as a C string: it ends at a NUL.
        std::string_view name(nameStart, kept);
        name = name.substr(0, name.find('\0'));

        if (name == "plist") {
            if ((_open.empty() && _parentDepth > 0) || empty)
                return std::nullopt;
            _hasContent = false;
            _open.push_back(Open::plist);
            continue;
        }
        if (name == "/plist") {
            if (!_hasContent || _open.empty() || _open.back() != Open::plist)
                return std::nullopt;
            _open.pop_back();
            continue;
        }
        _hasContent = true;
        if (name == "/array" || name == "/dict") {
            const Open closed = name == "/array" ? Open::array : Open::dictionary;
            if (_open.empty() || _open.back() != closed)
                return std::nullopt;
            _open.pop_back();
            if (--_parentDepth == 0)
                return std::nullopt;  // the top container is complete: the reader stops
            continue;
        }
        const bool container = name == "array" || name == "dict";
        const bool value = name == "integer" || name == "real" || name == "true" ||
                           name == "false" || name == "string" || name == "key" || name == "data" ||
                           name == "date";
        if (!container && !value)
            return std::nullopt;  // an unknown tag, or another closing one: both are errors
        if (++_nodes > kPlistMaxNodes)
            return PlistLimitBreach::tooLarge;
        if (value && !empty && !skipValueText(name, nameLength))
            return std::nullopt;
        const bool top = _parentDepth == 0;
        if (!container) {
            if (top)
                return std::nullopt;  // a single value is the whole list
            continue;
        }
        // A container is added to the current one (the top one, even when it was empty) and
        // becomes the current one unless it is empty itself.
        const int depth = _parentDepth + 1;
        if (depth > kPlistMaxDepth)
            return PlistLimitBreach::tooDeep;
        if (!empty) {
            _open.push_back(name == "array" ? Open::array : Open::dictionary);
            _parentDepth = depth;
        } else if (top) {
            _parentDepth = 1;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<PlistLimitBreach> PlistLimitBreachOf(const QByteArray& bytes) {
    if (bytes.startsWith("bplist")) {
        const auto layout = BinaryPlistLayout::Read(bytes);
        return layout ? BinaryBreach(*layout) : Breach(PlistLimitBreach::malformed);
    }
    return XmlScan(bytes).run();
}

}  // namespace quillet
