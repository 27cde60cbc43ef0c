#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <vector>

#include "platform/Plist.h"

namespace quillet {
namespace {

bool IsWellFormedXml(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

TEST(PlistXmlTest, ControlCharactersThatXmlCannotCarryAreDroppedFromStringsAndKeys) {
    Plist list = Plist::array();
    Plist entry = Plist::dictionary();
    entry.node().set("SignatureName", Plist::string(QString("A\x01<b>\x1f&\tc\nd") + QChar(0x0B)));
    entry.node().set("Sig\x02Key", Plist::boolean(true));  // a key from a binary list
    list.node().append(std::move(entry));
    list.node().append(Plist::string("Jos\u00e9 \u2014 \u00e9t\u00e9"));

    const QByteArray xml = list.toXml();
    EXPECT_TRUE(IsWellFormedXml(xml)) << xml.toStdString();
    const auto reread = Plist::parse(xml);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->node().at(0)->dictionaryString("SignatureName"), "A<b>&\tc\nd");
    EXPECT_EQ(reread->node().at(1)->asString(), "Jos\u00e9 \u2014 \u00e9t\u00e9");
    EXPECT_EQ(reread->node().at(0)->keys(), (QStringList{"SignatureName", "SigKey"}));
    // The list itself keeps its text: only what is written changes.
    EXPECT_EQ(list.node().at(0)->dictionaryString("SignatureName")->size(), 12);
    // The binary form carries every character.
    EXPECT_EQ(Plist::parse(list.toBinary())->node().at(0)->dictionaryString("SignatureName"),
              list.node().at(0)->dictionaryString("SignatureName"));
}

TEST(PlistXmlTest, DamagedTextsAreReadAsValidUtf8EndingAtTheirFirstNul) {
    // A damaged file: raw bytes, a NUL among them, inside a string; bytes that are not UTF-8.
    static constexpr char kText[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
        "<string>0B7E3C55-8\x01\x00\x00\x00"
        "5C2E9F4A7D22</string><dict><key>Signature\x00IsRich</key><true/></dict>"
        "<string>b\x9f\xbf\x87\xd7org</string></array></plist>";
    const QByteArray xml(kText, sizeof(kText) - 1);
    const auto list = Plist::parse(xml);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->node().at(0)->asString(), QString("0B7E3C55-8\x01"));
    // Written, it loses the control character that XML cannot carry; the binary form keeps it.
    const auto reread = Plist::parse(list->toXml());
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->node().at(0)->asString(), QString("0B7E3C55-8"));
    Plist same = Plist::array();
    same.node().append(Plist::string("0B7E3C55-8\x01"));
    Plist entry = Plist::dictionary();
    entry.node().set("Signature", Plist::boolean(true));
    same.node().append(std::move(entry));
    same.node().append(Plist::string(QString::fromUtf8("b\x9f\xbf\x87\xd7org")));
    EXPECT_EQ(list->toBinary(), same.toBinary());
    // Damaged UTF-8 is read as replacement characters, so the binary form can carry it.
    const auto binary = Plist::parse(list->toBinary());
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->node().at(2)->asString(), QString::fromUtf8("b\x9f\xbf\x87\xd7org"));
}

// A binary list of the objects (their bytes, the first the top), written by hand: libplist's
// writer cannot write a damaged one.
QByteArray BinaryList(const std::vector<QByteArray>& objects) {
    QByteArray bytes = "bplist00";
    QByteArray offsets;
    for (const QByteArray& object : objects) {
        offsets.append(static_cast<char>(bytes.size()));
        bytes.append(object);
    }
    const auto offsetTable = static_cast<char>(bytes.size());
    bytes.append(offsets);
    bytes.append(QByteArray(6, '\0') + "\x01\x01");  // offset and reference sizes
    bytes.append(QByteArray(7, '\0') + static_cast<char>(objects.size()));
    bytes.append(QByteArray(8, '\0'));  // the top object
    bytes.append(QByteArray(7, '\0') + offsetTable);
    return bytes;
}

TEST(PlistXmlTest, KeysThatMendToTheSameTextLeaveOneEntryThatIsWrittenReadably) {
    // Two keys that are not UTF-8, as a damaged binary list holds them, both read as U+FFFD.
    const auto read = Plist::parse(BinaryList({"\xd3\x01\x02\x03\x04\x05\x06", "\x51\xdc",
                                               "\x51"
                                               "a",
                                               "\x51\xdd", "\x10\x01", "\xd0", "\x10\x02"}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->node().keys(), (QStringList{"\ufffd", "a"}));
    EXPECT_EQ(read->node().get("\ufffd")->asInteger(), 2);
    const auto binary = Plist::parse(read->toBinary());
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->node().keys(), read->node().keys());

    // Keys that differ only by a character XML cannot carry are one key in XML.
    Plist list = Plist::dictionary();
    list.node().set("Account\x01", Plist::integer(1));
    list.node().set("Account", Plist::integer(2));
    const auto xml = Plist::parse(list.toXml());
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->node().keys(), QStringList{"Account"});
    EXPECT_EQ(list.node().keys(), (QStringList{"Account\x01", "Account"}));
}

// A binary list written by libplist, holding the text as a key, with the first "x" of its bytes
// turned into NULs in place.
QByteArray BinaryListWithText(const QString& text, const QByteArray& x) {
    Plist list = Plist::dictionary();
    Plist account = Plist::dictionary();
    account.node().set(text, Plist::integer(12));
    list.node().set("Accounts", std::move(account));
    list.node().set("Name", Plist::string("Value AxB"));
    QByteArray bytes = list.toBinary();
    if (!x.isEmpty()) {
        const qsizetype at = bytes.indexOf(x);
        EXPECT_GE(at, 0);
        bytes.replace(at, x.size(), QByteArray(x.size(), '\0'));
    }
    return bytes;
}

TEST(PlistBinaryTest, ATextHoldingANulMakesTheListUnreadable) {
    // libplist itself would abort on reading such a key back.
    EXPECT_FALSE(Plist::parse(BinaryListWithText("SignatureIxsRich", "x")));
    EXPECT_FALSE(Plist::parse(
        BinaryListWithText(QString::fromUtf8("Signatur\u00e9xIsRich"), QByteArray("\0x", 2))));
    // The list does not say which texts are keys before libplist reads it: values count too.
    EXPECT_FALSE(Plist::parse(BinaryListWithText("SignatureIsRich", "AxB")));
    // Zero bytes elsewhere (lengths, offsets, numbers) are the binary form's own.
    const auto intact = Plist::parse(BinaryListWithText("SignatureIsRich", ""));
    ASSERT_TRUE(intact);
    EXPECT_EQ(intact->node().get("Accounts")->keys(), QStringList{"SignatureIsRich"});
}

TEST(PlistXmlTest, TheFormatIsToldApartAndAnEmptyListIsNeverWritten) {
    const Plist list = Plist::dictionary();
    EXPECT_TRUE(IsBinaryPlistData(list.toBinary()));
    EXPECT_FALSE(IsBinaryPlistData(list.toXml()));
    Plist moved = Plist::array();
    Plist taken = std::move(moved);
    EXPECT_TRUE(moved.toXml().isEmpty());  // NOLINT(bugprone-use-after-move): a moved-from list
    EXPECT_FALSE(WritePlistFile(QDir::tempPath() + "/quillet-never-written.plist", moved));
    EXPECT_FALSE(QFile::exists(QDir::tempPath() + "/quillet-never-written.plist"));
}

}  // namespace
}  // namespace quillet
