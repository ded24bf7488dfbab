// The fixture blog (six posts over two months: a long post, two posts on one
// day, windows-1250 letters, an empty body, two separators) generated in every
// paragraph mode and both charsets, compared byte for byte with the expected
// outputs under tests/data/generator/expected/. Those files were checked by
// hand; "test_generator --regenerate" rewrites them on purpose.

#include "generator_support.h"

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
};

void PrintTo(const Variant &v, std::ostream *os) { *os << v.name; }

class FixtureBlog : public ::testing::TestWithParam<Variant> {};

// Every output of a run: the files below the main folder, the upload list
// (paths relative to the main folder) and the log.
std::map<std::string, std::string> runFixture(const Variant &v, const std::string &root)
{
    FixtureProject project(root);
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
                      Variant{"unformatted-iso-8859-2", 2, 1}),
    [](const ::testing::TestParamInfo<Variant> &info) {
        std::string n = info.param.name;
        for (char &c : n)
            if (c == '-')
                c = '_';
        return n;
    });
