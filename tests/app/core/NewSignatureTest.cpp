#include "app/core/NewSignature.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quillet {
namespace {

TEST(NewSignatureTest, FileSignatureNameIsSecondMinuteHourDayMonthYear) {
    struct Case {
        QDateTime time;
        QString name;
    };
    const Case cases[] = {
        {QDateTime(QDate(2026, 7, 3), QTime(14, 5, 9)), "qlt090514030726"},
        {QDateTime(QDate(2031, 5, 6), QTime(9, 8, 7)), "qlt070809060531"},
        {QDateTime(QDate(2000, 12, 31), QTime(23, 59, 58)), "qlt585923311200"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileSignatureName(c.time), c.name) << c.time.toString().toStdString();
}

TEST(NewSignatureTest, OnlyWhollyValidUtf8FilesAreRead) {
    QTemporaryDir folder;
    auto write = [&folder](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    EXPECT_EQ(ReadUtf8File(write("utf8.html", "<p>Caf\xC3\xA9</p>")), "<p>Café</p>");
    EXPECT_EQ(ReadUtf8File(write("empty.html", "")), "");
    // Latin-1 "Café": one byte that is no UTF-8.
    EXPECT_FALSE(ReadUtf8File(write("latin1.html", "<p>Caf\xE9</p>")));
    EXPECT_FALSE(ReadUtf8File(folder.filePath("missing.html")));
    EXPECT_FALSE(ReadUtf8File(folder.path()));  // a folder, not a file
}

TEST(NewSignatureTest, AFetchedTextIsTrimmedAndABlankOneIsNotFound) {
    EXPECT_EQ(FetchedSignatureText(KeyFetchResult::Found(" \n<p>A</p>\t\n")), "<p>A</p>");
    EXPECT_FALSE(FetchedSignatureText(KeyFetchResult::Found(" \n\t \r\n")));
    EXPECT_FALSE(FetchedSignatureText(KeyFetchResult::NotFound()));
    EXPECT_FALSE(FetchedSignatureText(KeyFetchResult::Error("t", "d")));
}

TEST(NewSignatureTest, FillingTakesTheSelectionOptionsAndSource) {
    Signature byKey;
    FillNewSignature(byKey, {ClientKind::outlook, "", false, true, 7},
                     {false, "k1", "<p>K</p>", 1234});
    ASSERT_TRUE(byKey.clientKindToSelectedInstallationsInfoMap.contains(ClientKind::outlook));
    const auto& all = byKey.clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook);
    EXPECT_TRUE(all.allAccountsSelected);
    EXPECT_TRUE(all.allAccountsPayloadX.has_value());
    EXPECT_EQ(byKey.colorIndex, 7);
    // Outlook's one switch sets both.
    EXPECT_FALSE(byKey.insertForRepliesForwards);
    EXPECT_FALSE(byKey.insertForForwards);
    EXPECT_EQ(byKey.keyQe, "k1");
    EXPECT_EQ(byKey.mainTextQe, "<p>K</p>");
    EXPECT_EQ(byKey.lastUpdateUnixTimeQz, 1234);

    // Spark offers no switches: both insertions are on whatever the switches said.
    Signature spark;
    FillNewSignature(spark, {ClientKind::spark, "", false, false, 0}, {false, "k", "t", 1});
    EXPECT_TRUE(spark.insertForRepliesForwards);
    EXPECT_TRUE(spark.insertForForwards);

    Signature byFile;
    const auto time = QDateTime(QDate(2031, 5, 6), QTime(9, 8, 7)).toSecsSinceEpoch();
    FillNewSignature(byFile, {ClientKind::thunderbird, "ann@example.com", false, true, 0},
                     {true, "/tmp/sig.html", "<p>F</p>", time});
    const auto& one = byFile.clientKindToSelectedInstallationsInfoMap.at(ClientKind::thunderbird);
    EXPECT_FALSE(one.allAccountsSelected);
    EXPECT_TRUE(one.accountEmailToPayloadMap.contains("ann@example.com"));
    EXPECT_FALSE(byFile.insertForRepliesForwards);
    EXPECT_TRUE(byFile.insertForForwards);
    EXPECT_EQ(byFile.fileNameQe, "qlt070809060531");
    EXPECT_EQ(byFile.filePathQe, "/tmp/sig.html");
    EXPECT_EQ(byFile.localTextQe, "<p>F</p>");
    EXPECT_TRUE(byFile.keyQe.isEmpty());
}

}  // namespace
}  // namespace quillet
