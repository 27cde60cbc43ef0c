#include "app/core/NewSignature.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quillet {
namespace {

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

// Outlook's one switch sets both insertions; Spark offers none, so both are on whatever the
// switches said.
TEST(NewSignatureTest, TheSwitchesAClientOffersSetItsInsertions) {
    Signature outlook;
    FillNewSignature(outlook, {ClientKind::outlook, "", false, true, 7}, {false, "k", "t", 1});
    EXPECT_FALSE(outlook.insertForRepliesForwards);
    EXPECT_FALSE(outlook.insertForForwards);
    Signature spark;
    FillNewSignature(spark, {ClientKind::spark, "", false, false, 0}, {false, "k", "t", 1});
    EXPECT_TRUE(spark.insertForRepliesForwards);
    EXPECT_TRUE(spark.insertForForwards);
}

}  // namespace
}  // namespace quillet
