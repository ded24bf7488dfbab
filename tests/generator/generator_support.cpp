#include "generator_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDirIterator>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>

namespace tl::gentest {

bool regenerateExpected = false;

std::string dataDir() { return std::string(TL_TEST_DATA_DIR) + "/generator/"; }
std::string fixtureDir() { return dataDir() + "fixture/"; }

namespace {
// Post list order: letter case ignored, "_" below every digit.
std::string sortKey(const std::string &s)
{
    std::string k = s;
    for (char &c : k)
        c = c == '_' ? '\x01' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}
} // namespace

ReadResult readDataFolder(const std::string &dataFolder)
{
    ReadResult r;
    const QStringList names =
        QDir(QString::fromStdString(dataFolder)).entryList({"*.txt"}, QDir::Files);
    for (const QString &n : names) {
        std::string name = n.toStdString();
        if (name.size() < 20)
            name.insert(0, 20 - name.size(), '_');
        r.postList.push_back(name);
    }
    std::sort(r.postList.begin(), r.postList.end(),
              [](const std::string &a, const std::string &b) { return sortKey(a) < sortKey(b); });
    std::string previous;
    for (auto it = r.postList.rbegin(); it != r.postList.rend(); ++it) {
        std::string name;
        for (char c : *it)
            if (c != '_')
                name += c;
        const std::string key = monthKey(civilFromSeconds(postTimeOfName(name)));
        if (key != previous) {
            r.monthList.push_back(key);
            r.treeOrder.push_back(key);
            previous = key;
        }
        r.treeOrder.push_back(name);
    }
    return r;
}

std::string readBytes(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

void writeBytes(const std::string &path, const std::string &bytes)
{
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path;
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void copyFolder(const std::string &from, const std::string &to)
{
    QDir().mkpath(QString::fromStdString(to));
    const QDir src(QString::fromStdString(from));
    for (const QString &n : src.entryList(QDir::Files))
        writeBytes(to + "/" + n.toStdString(), readBytes(from + "/" + n.toStdString()));
}

std::vector<std::string> filesBelow(const std::string &folder)
{
    std::vector<std::string> out;
    const QDir base(QString::fromStdString(folder));
    QDirIterator it(base.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.push_back(base.relativeFilePath(it.next()).toStdString());
    std::sort(out.begin(), out.end());
    return out;
}

FixtureProject::FixtureProject(const std::string &r, bool withPosts)
    : root(r), site(r + "/site"), data(r + "/data")
{
    QDir().mkpath(QString::fromStdString(site));
    QDir().mkpath(QString::fromStdString(data));
    if (withPosts)
        copyFolder(fixtureDir() + "data", data);
    gen::SiteFields &p = input.project;
    p.mainFolder = site;
    p.dataFolder = data;
    p.mainTemplate = fixtureDir() + "templates/template.htm";
    p.archiveTemplate = fixtureDir() + "templates/archtemp.htm";
    p.feedTemplate = fixtureDir() + "templates/template.rss";
    p.textTemplate = fixtureDir() + "templates/template.txt";
    p.mainUri = "http://blog.example.com/";
    p.author = "Jan Nov\xE1k";
    p.email = "jan@example.com";
    input.versionText = kVersion;
    input.fileDateText = kFileDate;
    // Monday 7 December 2026, 21:05, one hour east of UTC.
    input.buildTime.local = civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5, 0));
    input.buildTime.utcOffsetSeconds = 3600;
    // The posts' dates in the feed, one hour east of UTC whatever the
    // machine's time zone.
    input.utcOffsetAt = [](const CivilDateTime &) { return 3600; };
    reread();
}

void FixtureProject::reread()
{
    const ReadResult r = readDataFolder(data);
    input.postList = r.postList;
    input.monthList = r.monthList;
    input.treeOrder = r.treeOrder;
}

} // namespace tl::gentest
