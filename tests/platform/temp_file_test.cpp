#include "platform/temp_file.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>

TEST(TempFile, CreatesDistinctEmptyFilesWhoseNamesEndWithADot)
{
    QString a = platform::createTempFile();
    QString b = platform::createTempFile();
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.endsWith('.'));
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_EQ(QFileInfo(a).size(), 0);
    QFile::remove(a);
    QFile::remove(b);
}
