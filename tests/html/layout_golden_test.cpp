// Golden layout tests: every tests/html/layout/NAME.html is laid out like a
// viewer 800 pixels wide and its dump compared with NAME.txt. After a
// deliberate layout change, run the suite with QUORVANE_UPDATE_LAYOUT=1 to
// rewrite the expected dumps, and review the difference.
#include "html/document/section_list.h"
#include "html/render/document_renderer.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

namespace {

constexpr int kViewerWidth = 800;

QString layoutFolder()
{
    return QStringLiteral(QUORVANE_HTML_TEST_DIR "/layout");
}

std::string readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

class GoldenLayout : public ::testing::TestWithParam<QString> {};

TEST_P(GoldenLayout, MatchesExpectedDump)
{
    const QString html = layoutFolder() + "/" + GetParam() + ".html";
    const QString expectedPath = layoutFolder() + "/" + GetParam() + ".txt";
    TSectionList doc;
    html::applyViewerDefaults(doc);
    html::loadDocumentFile(doc, html);
    doc.DoLogic(kViewerWidth - 2 * html::kMarginWidth);
    const std::string dump = doc.DumpLayout();
    if (qEnvironmentVariableIsSet("QUORVANE_UPDATE_LAYOUT")) {
        QFile out(expectedPath);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(dump.data(), static_cast<qint64>(dump.size()));
        return;
    }
    EXPECT_EQ(dump, readFile(expectedPath)) << "layout of " << html.toStdString();
}

std::vector<QString> goldenNames()
{
    std::vector<QString> names;
    const QStringList files = QDir(layoutFolder()).entryList({"*.html"}, QDir::Files, QDir::Name);
    for (const QString& f : files)
        names.push_back(f.chopped(5));
    return names;
}

INSTANTIATE_TEST_SUITE_P(Pages, GoldenLayout, ::testing::ValuesIn(goldenNames()),
                         [](const auto& info) { return info.param.toStdString(); });

TEST(GoldenLayoutFiles, EveryPageHasItsDump)
{
    const auto names = goldenNames();
    EXPECT_GE(names.size(), 8u);
    for (const QString& name : names)
        EXPECT_TRUE(QFile::exists(layoutFolder() + "/" + name + ".txt")) << name.toStdString();
}

} // namespace
