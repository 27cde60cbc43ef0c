#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/Plist.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

// Both forms give back every kind of value, in the dictionary's order; XML drops from strings
// and keys the control characters it cannot carry, and only what is written changes. Damaged texts
// are read as valid UTF-8 ending at their first NUL, and keys that mend to the same text leave
// one entry. The lists and what they are written as are the rows of base/plist-rewrites.tsv.
TEST(PlistXmlTest, ListsAreWrittenAsTheyWereReadAndWhatCannotBeCarriedIsDroppedOrMended) {
    for (const QStringList& row : ReadDataTable("base/plist-rewrites.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        const auto write = [&](const Plist& list) {
            return row[1] == "xml" ? list.toXml() : list.toBinary();
        };
        const auto read = Plist::parse(ReadDataBytes("base/" + row[0]));
        ASSERT_TRUE(read);
        const QByteArray expected = ReadDataBytes("base/" + row[2]);
        const QByteArray before = read->toBinary();
        EXPECT_EQ(write(*read), expected);
        EXPECT_EQ(read->toBinary(), before);
        const auto reread = Plist::parse(expected);
        ASSERT_TRUE(reread);
        EXPECT_EQ(write(*reread), expected);
    }
}

// A binary list of the objects (their bytes, the first the top), written by hand: libplist's
// writer cannot write a damaged one. Offsets and references are `width` bytes wide.
QByteArray BinaryList(const std::vector<QByteArray>& objects, int width = 1) {
    const auto number = [width](std::uint64_t value, int bytes) {
        QByteArray result;
        for (int i = bytes - 1; i >= 0; --i)
            result.append(static_cast<char>((value >> (8 * i)) & 0xFF));
        return result;
    };
    QByteArray bytes = "bplist00";
    QByteArray offsets;
    for (const QByteArray& object : objects) {
        offsets.append(number(static_cast<std::uint64_t>(bytes.size()), width));
        bytes.append(object);
    }
    const auto offsetTable = static_cast<std::uint64_t>(bytes.size());
    bytes.append(offsets);
    bytes.append(QByteArray(6, '\0') + static_cast<char>(width) + static_cast<char>(width));
    bytes.append(number(objects.size(), 8));
    bytes.append(number(0, 8));  // the top object
    bytes.append(number(offsetTable, 8));
    return bytes;
}

// An array object (marker and references) of the given objects, references 4 bytes wide.
QByteArray ArrayOf(const std::vector<std::uint32_t>& items) {
    QByteArray object(1, static_cast<char>(0xA0 | std::min<std::size_t>(items.size(), 0x0F)));
    if (items.size() >= 0x0F)  // the length as a one-byte integer object
        object.append("\x10").append(static_cast<char>(items.size()));
    for (const std::uint32_t item : items) {
        for (int shift : {24, 16, 8, 0})
            object.append(static_cast<char>((item >> shift) & 0xFF));
    }
    return object;
}

// A list that cannot be read to its end is unreadable (the disk's fault), not a damaged list; a
// list moved from is never written.
TEST(PlistXmlTest, AFileThatCannotBeReadToItsEndIsUnreadableAndAMovedFromListIsNeverWritten) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/list.plist";
    ASSERT_TRUE(QFile::link("/proc/self/mem", path));  // it opens; address 0 is never mapped
    EXPECT_EQ(ReadPlistFile(path).failure(), PlistReadFailure::unreadableFile);
    Plist moved = Plist::array();
    Plist taken = std::move(moved);
    EXPECT_TRUE(moved.toXml().isEmpty());  // NOLINT(bugprone-use-after-move): a moved-from list
    EXPECT_FALSE(WritePlistFile(folder.path() + "/never.plist", moved));
    EXPECT_FALSE(QFile::exists(folder.path() + "/never.plist"));
}

// --- Lists built to take the reader down --------------------------------------------------

std::vector<QByteArray> NestedArrays(int levels, int references) {
    std::vector<QByteArray> objects;
    for (int level = 0; level < levels; ++level)
        objects.push_back(ArrayOf(std::vector<std::uint32_t>(references, level + 1)));
    objects.push_back("\x51x");  // the text "x" at the bottom
    return objects;
}

// The depth of the list's containers, found by a walk of its own (lists read are at most 513
// deep).
int Depth(const PlistNode& node) {
    int below = 0;
    for (int i = 0; i < node.size(); ++i)
        below = std::max(below, Depth(*node.at(i)));
    return below + 1;
}

// The lists are the rows of tests/data/base/plist-limits.tsv.
TEST(PlistLimitsTest, ListsBeyondTheLimitsAreUnreadableAndThoseWithinAreReadWhole) {
    const QStringList failures = {"unreadableFile", "notPropertyList", "textWithNul",
                                  "nestedTooDeep", "tooLarge"};
    for (const QStringList& row : ReadDataTable("base/plist-limits.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        const int levels = row[1].toInt();
        std::vector<QByteArray> objects;
        for (const QString& hex : row[1].split(' '))
            objects.push_back(QByteArray::fromHex(hex.toLatin1()));
        QByteArray bytes = row[0] == "raw" ? objects.front() : BinaryList(objects, 4);
        if (row[0] == "binary")
            bytes = BinaryList(NestedArrays(levels, row[2].toInt()), 4);
        if (row[0] == "shared") {
            const QByteArray mebibyte =
                QByteArray("\x4f\x12\x00\x10\x00\x00", 6) + QByteArray(1 << 20, 'x');
            bytes =
                BinaryList({ArrayOf(std::vector<std::uint32_t>(row[2].toInt(), 1)), mebibyte}, 4);
        }
        if (row[0] == "xml") {
            bytes = row[2].toUtf8() + row[3].toUtf8().repeated(levels) + row[4].toUtf8() +
                    row[5].toUtf8().repeated(levels) + row[6].toUtf8();
        }
        const auto read = Plist::parse(bytes);
        const QString outcome = read ? "read" : failures.value(static_cast<int>(read.failure()));
        EXPECT_EQ(outcome.toStdString(), row.back().toStdString());
        if (read && row[0] != "raw") {
            EXPECT_EQ(Depth(read->node()), levels + 1);  // the text below the containers
            EXPECT_TRUE(Plist::parse(read->toXml()));
            EXPECT_TRUE(Plist::parse(read->toBinary()));
        }
    }
}

}  // namespace
}  // namespace quillet
