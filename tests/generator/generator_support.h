#pragma once
#include "generator/generate.h"

#include <QString>
#include <string>
#include <utility>
#include <vector>

namespace tl::gentest {

// Set by "--regenerate".
extern bool regenerateExpected;

std::string dataDir();  // tests/data/generator/
std::string fixtureDir(); // tests/data/generator/fixture/

// What Read builds from a data folder: the post list (names padded with "_"
// to 20, ascending, "_" below digits), the month list and the tree's node
// texts in display order.
struct ReadResult {
    std::vector<std::string> postList;
    std::vector<std::string> monthList;
    std::vector<std::string> treeOrder;
};
ReadResult readDataFolder(const std::string &dataFolder);

// Records what a generation run reports.
class RecordingReporter : public gen::GenerateReporter {
public:
    void log(const std::string &line) override { lines.push_back(line); }
    void clearUploadList() override { uploads.clear(); ++clears; }
    void addToUploadList(const std::string &path) override { uploads.push_back(path); }
    void siteFile(const std::string &path, WriteOutcome outcome) override
    {
        outcomes.emplace_back(path, outcome);
        GenerateReporter::siteFile(path, outcome);
    }
    std::vector<std::string> lines;
    std::vector<std::string> uploads;
    std::vector<std::pair<std::string, WriteOutcome>> outcomes;
    int clears = 0;
};

std::string readBytes(const std::string &path);
void writeBytes(const std::string &path, const std::string &bytes);
// Copies every file of a folder (not recursive).
void copyFolder(const std::string &from, const std::string &to);
// Relative paths of every file below a folder, sorted.
std::vector<std::string> filesBelow(const std::string &folder);

// A project laid out in a temporary folder: site/ (main folder), data/ with
// the fixture posts, and the fixture templates used where they lie.
struct FixtureProject {
    explicit FixtureProject(const std::string &root, bool withPosts = true);
    std::string root, site, data;
    gen::GenerateInput input; // project fields set, Read done, stamps fixed
    void reread();            // runs the Read stand-in again on data/
};

// The texts a fixed program stamp gives.
inline const char *kVersion = "1.0.0.1";
inline const char *kFileDate = "8.12.2025 15:00:00";

} // namespace tl::gentest
