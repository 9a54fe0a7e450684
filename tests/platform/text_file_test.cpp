#include "platform/exception.h"
#include "platform/text_file.h"
#include "small_disk.h"

#include <cerrno>
#include <QDir>

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

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

// A rewrite that fails on the way leaves the old file whole and no stray
// temporary file beside it, whether the disk is full or the write fails
// for another reason.
TEST(TextFile, FailedRewriteKeepsTheOldFileAndLeavesNothingBehind)
{
    struct Case {
        const char* name;
        int fault;
    } cases[] = {{"full disk", ENOSPC}, {"input/output error", EIO}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("profile.ini");
        writeTextLines(path, {"me@example.org", "Jo", "", "http://a/", "http://b/"});
        const QByteArray before = fileBytes(path);
        setWriteFaultHook([&](const QString& target) { return target == path ? c.fault : 0; });
        try {
            writeTextLines(path, {"me@example.org", "Jo", "08.12.2026", "http://a/", "http://b/"});
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.errorCode(), c.fault) << c.name;
            EXPECT_NE(e.message().find("profile.ini"), std::string::npos) << c.name;
        }
        setWriteFaultHook(nullptr);
        EXPECT_EQ(fileBytes(path), before) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"profile.ini"}) << c.name;
    }
}

TEST(TextFile, FullDiskKeepsTheOldFile)
{
    SmallDisk disk;
    if (!disk.available())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString path = disk.path() + "engines.txt";
    writeTextLines(path, {"GEThttp://a/?q=##url", "GEThttp://b/?q=##url"});
    const QByteArray before = fileBytes(path);
    disk.fill();
    std::vector<std::string> longer(200, std::string(100, 'z'));
    EXPECT_THROW(writeTextLines(path, longer), EInOutError);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files), (QStringList{"engines.txt", "filler"}));
}

TEST(TextFile, RewriteKeepsTheFilesPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    writeTextLines(path, {"one"});
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeTextLines(path, {"two"});
    EXPECT_EQ(QFile::permissions(path) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    EXPECT_EQ(readTextLines(path), std::vector<std::string>{"two"});
}
