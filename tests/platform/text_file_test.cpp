#include "platform/exception.h"
#include "platform/text_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void putBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

} // namespace

TEST(TextFile, WritesCrLfAfterEveryLineAndReadsItBack)
{
    QTemporaryDir dir;
    QString path = dir.filePath("a.txt");
    writeTextLines(path, {"one", "", "thr\xE9"});
    EXPECT_EQ(fileBytes(path), QByteArray("one\r\n\r\nthr\xE9\r\n"));
    EXPECT_EQ(readTextLines(path), (std::vector<std::string>{"one", "", "thr\xE9"}));
}

TEST(TextFile, ReaderAcceptsLfCrLfAndAMissingFinalLineEnd)
{
    QTemporaryDir dir;
    QString path = dir.filePath("b.txt");
    putBytes(path, "a\nb\r\n\nc");
    EXPECT_EQ(readTextLines(path), (std::vector<std::string>{"a", "b", "", "c"}));
    putBytes(path, "");
    EXPECT_TRUE(readTextLines(path).empty());
}

TEST(TextFile, MissingFileRaisesInOutErrorNamingTheFile)
{
    QTemporaryDir dir;
    QString path = dir.filePath("missing.txt");
    try {
        readTextLines(path);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_NE(e.message().find("missing.txt"), std::string::npos);
    }
}

TEST(TextFile, WritingIntoAMissingFolderRaises)
{
    QTemporaryDir dir;
    EXPECT_THROW(writeTextLines(dir.filePath("no/such/x.txt"), {"a"}), EInOutError);
}
