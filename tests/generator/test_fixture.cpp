// The fixture blog (six posts over two months: a long post, two posts on one
// day, windows-1250 letters, an empty body, two separators) generated in every
// paragraph mode and both charsets, and the Markdown posts of the fixture (one
// feature each) in the Markdown mode, compared byte for byte with the
// expected outputs under tests/data/generator/expected/. Those files were
// checked by hand; "test_generator --regenerate" rewrites them on purpose.
// Pages in UTF-8 are compared with the windows-1250 pages decoded.

#include "generator_support.h"

#include "core/cp1250.h"
#include "generator/charset.h"
#include "generator/render.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using namespace tl;
using namespace tl::gen;
using namespace tl::gentest;

namespace {

struct Variant {
    const char *name;
    int paragraph;
    int charset;
    const char *posts = "data"; // a folder of the fixture
};

void PrintTo(const Variant &v, std::ostream *os) { *os << v.name; }

class FixtureBlog : public ::testing::TestWithParam<Variant> {};

// Every output of a run: the files below the main folder, the upload list
// (paths relative to the main folder) and the log.
std::map<std::string, std::string> runFixture(const Variant &v, const std::string &root)
{
    FixtureProject project(root, false);
    copyFolder(fixtureDir() + v.posts, project.data);
    project.reread();
    project.input.project.paragraphMode = v.paragraph;
    project.input.project.charset = v.charset;
    project.input.project.archiveFolder = "archiv/";
    project.input.project.postsOnMainPage = "5";
    RecordingReporter reporter;
    GenerateSite(project.input, reporter);

    std::map<std::string, std::string> out;
    for (const std::string &rel : filesBelow(project.site))
        out[rel] = readBytes(project.site + "/" + rel);
    std::string uploads;
    for (const std::string &p : reporter.uploads) {
        EXPECT_EQ(p.rfind(project.site + "/", 0), 0u) << p;
        uploads += "<main>/" + p.substr(project.site.size() + 1) + "\n";
    }
    out["upload.list"] = uploads;
    std::string log;
    for (const std::string &l : reporter.lines)
        log += l + "\n";
    out["log.list"] = log;
    return out;
}

} // namespace

TEST_P(FixtureBlog, OutputsMatchTheCheckedFiles)
{
    const Variant v = GetParam();
    QTemporaryDir tmp;
    const auto outputs = runFixture(v, tmp.path().toStdString());
    const std::string expectedDir = dataDir() + "expected/" + v.name;

    if (regenerateExpected) {
        QDir(QString::fromStdString(expectedDir)).removeRecursively();
        for (const auto &[rel, bytes] : outputs)
            writeBytes(expectedDir + "/" + rel, bytes);
        GTEST_SKIP() << "expected outputs rewritten in " << expectedDir;
    }

    std::vector<std::string> expectedFiles = filesBelow(expectedDir);
    ASSERT_FALSE(expectedFiles.empty()) << "no expected outputs in " << expectedDir;
    std::vector<std::string> actualFiles;
    for (const auto &entry : outputs)
        actualFiles.push_back(entry.first);
    EXPECT_EQ(actualFiles, expectedFiles);
    for (const std::string &rel : expectedFiles) {
        const auto it = outputs.find(rel);
        if (it == outputs.end())
            continue;
        EXPECT_EQ(it->second, readBytes(expectedDir + "/" + rel)) << v.name << "/" << rel;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryModeAndCharset, FixtureBlog,
    ::testing::Values(Variant{"br-windows-1250", 0, 0}, Variant{"br-iso-8859-2", 0, 1},
                      Variant{"p-windows-1250", 1, 0}, Variant{"p-iso-8859-2", 1, 1},
                      Variant{"unformatted-windows-1250", 2, 0},
                      Variant{"unformatted-iso-8859-2", 2, 1},
                      Variant{"markdown-windows-1250", kParagraphMarkdown, 0, "markdown"}),
    [](const ::testing::TestParamInfo<Variant> &info) {
        std::string n = info.param.name;
        for (char &c : n)
            if (c == '-')
                c = '_';
        return n;
    });

// A page in UTF-8 says every letter the windows-1250 page says: the whole
// output of each mode, decoded from windows-1250, is the UTF-8 output, but
// for the charset it names. Both fixtures, every paragraph mode.
TEST(Utf8Pages, EveryLetterAsOnTheWindows1250Pages)
{
    const Variant variants[] = {{"br", 0, 0},
                                {"p", 1, 0},
                                {"unformatted", 2, 0},
                                {"markdown", kParagraphMarkdown, 0},
                                {"markdown posts", kParagraphMarkdown, 0, "markdown"}};
    for (Variant v : variants) {
        SCOPED_TRACE(v.name);
        QTemporaryDir a, b;
        const auto windows = runFixture(v, a.path().toStdString());
        v.charset = kCharsetUtf8;
        const auto utf8 = runFixture(v, b.path().toStdString());
        ASSERT_EQ(windows.size(), utf8.size());
        for (const auto &[rel, bytes] : windows) {
            const auto it = utf8.find(rel);
            ASSERT_NE(it, utf8.end()) << rel;
            if (rel == "upload.list" || rel == "log.list") {
                EXPECT_EQ(it->second, bytes) << rel;
                continue;
            }
            QByteArray expected = decodeCp1250(bytes).toUtf8();
            expected.replace("windows-1250", "utf-8");
            EXPECT_EQ(it->second, expected.toStdString()) << rel;
        }
    }
    // The check holds letters beyond ASCII, as UTF-8.
    QTemporaryDir c;
    const auto pages = runFixture({"p", 1, kCharsetUtf8}, c.path().toStdString());
    EXPECT_NE(pages.at("index.html").find("\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD"),
              std::string::npos);
    EXPECT_NE(pages.at("index.html").find("charset=\"utf-8\""), std::string::npos);
}
