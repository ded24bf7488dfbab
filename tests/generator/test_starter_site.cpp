// The site the default files of a new project make, in English and in Czech
// (conf/cs/): every link resolves whatever the archive folder, and the feed
// is valid RSS 2.0 (xmllint with the schema tests/data/generator/rss20.rng)
// that shows what the posts hold, in each of the three charsets.

#include "generator_support.h"

#include "core/cp1250.h"
#include "generator/charset.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;
using namespace tl::gentest;

namespace {

const std::string kSite = "http://blog.example.com/";

// A starter project: the default templates, the sample post (a long post of
// April 2003) and two posts of May 2003 whose titles hold "&" and a
// character windows-1250 lacks, stored as a numeric character reference.
struct StarterSite {
    QTemporaryDir tmp;
    FixtureProject project{tmp.path().toStdString(), false};

    // language: "" for the English starter files, "cs/" for the Czech ones.
    explicit StarterSite(const std::string &archiveFolder, const std::string &language = "")
    {
        const std::string conf = std::string(TL_SOURCE_DIR) + "/conf/" + language;
        writeBytes(project.data + "/1049328060.txt", readBytes(conf + "1049328060.txt"));
        writeBytes(project.data + "/1051747200.txt",
                   encodeCp1250(QStringLiteral("Láska &#9829; & spol.\r\nText &amp; <b>víc</b>.")));
        writeBytes(project.data + "/1051790700.txt",
                   "Q&A <i>time</i>\r\nA <a href=\"http://example.org/\">link</a>.");
        project.reread();
        SiteFields &p = project.input.project;
        p.mainTemplate = conf + "template.htm";
        p.archiveTemplate = conf + "archtemp.htm";
        p.feedTemplate = conf + "template.rss";
        p.textTemplate = conf + "template.txt";
        p.mainUri = kSite;
        p.archiveFolder = archiveFolder;
        p.siteTitle = encodeCp1250(QStringLiteral("Zápisník & spol."));
    }
    void generate(int charset = 0)
    {
        project.input.project.charset = charset;
        RecordingReporter reporter;
        GenerateSite(project.input, reporter);
    }
};

// Every link of every page below the site folder that leads nowhere: a
// relative link whose file is missing, or whose "#anchor" names no id in it.
// Links with a scheme (http:, mailto:) leave the site and are not followed;
// the feed's links are followed when they start with the site's address.
std::vector<std::string> brokenLinks(const std::string &site)
{
    static const QRegularExpression htmlLink(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    static const QRegularExpression feedLink(QStringLiteral("<(?:link|guid)>([^<]*)</"));
    static const QRegularExpression scheme(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*:"));
    std::vector<std::string> broken;
    for (const std::string &rel : filesBelow(site)) {
        const QString page = QString::fromLatin1(readBytes(site + "/" + rel));
        const bool feed = QString::fromStdString(rel).endsWith(QStringLiteral(".xml"));
        const QString folder = QFileInfo(QString::fromStdString(site + "/" + rel)).absolutePath();
        auto links = (feed ? feedLink : htmlLink).globalMatch(page);
        while (links.hasNext()) {
            QString link = links.next().captured(1);
            if (feed) {
                link.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
                if (!link.startsWith(QString::fromStdString(kSite))) {
                    broken.push_back(rel + " -> " + link.toStdString() + " (not on the site)");
                    continue;
                }
                link = link.mid(static_cast<qsizetype>(kSite.size()));
            } else if (scheme.match(link).hasMatch()) {
                continue;
            }
            const qsizetype hash = link.indexOf(QLatin1Char('#'));
            const QString file = hash < 0 ? link : link.left(hash);
            const QString anchor = hash < 0 ? QString() : link.mid(hash + 1);
            const QString target = file.isEmpty()
                ? QString::fromStdString(site + "/" + rel)
                : QDir::cleanPath((feed ? QString::fromStdString(site) : folder) + "/" + file);
            const bool inSite = target.startsWith(QString::fromStdString(site) + "/");
            if (!inSite || !QFileInfo(target).isFile()) {
                broken.push_back(rel + " -> " + link.toStdString());
                continue;
            }
            if (!anchor.isEmpty()
                && !QString::fromLatin1(readBytes(target.toStdString()))
                        .contains(QStringLiteral("id=\"%1\"").arg(anchor)))
                broken.push_back(rel + " -> " + link.toStdString() + " (no such anchor)");
        }
    }
    return broken;
}

// Runs xmllint; its standard output, with the exit status in `status`.
std::string xmllint(const QStringList &arguments, int &status, std::string &errors)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (tool.isEmpty()) {
        status = -1;
        errors = "xmllint is missing: scripts/install-deps.sh installs it (libxml2-utils)";
        return {};
    }
    QProcess p;
    p.start(tool, arguments);
    p.waitForFinished(60000);
    status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    errors = p.readAllStandardError().toStdString();
    return p.readAllStandardOutput().toStdString();
}

} // namespace

TEST(StarterSite, EveryLinkResolvesWhateverTheArchiveFolder)
{
    for (const std::string language : {"", "cs/"})
        for (const std::string folder : {"archiv/", "", "a/b/", "./old/"}) {
            SCOPED_TRACE("starter files conf/" + language + ", archive folder \"" + folder + "\"");
            StarterSite s(folder, language);
            s.generate();
            const std::vector<std::string> files = filesBelow(s.project.site);
            // Main page, RSS, TXT, two month pages and a long post's page.
            EXPECT_EQ(files.size(), 6u);
            EXPECT_EQ(brokenLinks(s.project.site), std::vector<std::string>());
        }
    // The checker itself finds what is broken.
    StarterSite s("archiv/");
    s.generate();
    QFile::remove(QString::fromStdString(s.project.site + "/index.html"));
    QFile::remove(QString::fromStdString(s.project.site + "/archiv/2003-04_030001.html"));
    const std::vector<std::string> broken = brokenLinks(s.project.site);
    EXPECT_NE(std::find(broken.begin(), broken.end(), "archiv/2003-05.html -> ../index.html"),
              broken.end());
    EXPECT_NE(std::find(broken.begin(), broken.end(),
                        "archiv/2003-04.html -> 2003-04_030001.html"),
              broken.end());
}

TEST(StarterSite, FeedIsValidRss2AndShowsTheCharactersOfTheTitles)
{
    const std::string schema = dataDir() + "rss20.rng";
    for (const std::string language : {"", "cs/"}) for (int charset : {0, 1, 2}) {
        SCOPED_TRACE("conf/" + language + " " + charsetName(charset));
        StarterSite s("archiv/", language);
        s.generate(charset);
        const QString rss = QString::fromStdString(s.project.site + "/rss.xml");
        int status = 0;
        std::string errors;
        xmllint({"--noout", "--relaxng", QString::fromStdString(schema), rss}, status, errors);
        EXPECT_EQ(status, 0) << errors;

        // As a feed reader reads it: the heart is a character, "&" is "&".
        const auto text = [&](const char *xpath) {
            QString out = QString::fromUtf8(
                xmllint({"--xpath", QString::fromLatin1(xpath), rss}, status, errors));
            if (out.endsWith(QLatin1Char('\n')))
                out.chop(1);
            return out.toStdString();
        };
        EXPECT_EQ(text("string(/rss/channel/item[2]/title)"), "Láska \u2665 & spol.");
        EXPECT_EQ(text("string(/rss/channel/item[1]/title)"), "Q&A <i>time</i>");
        EXPECT_EQ(text("string(/rss/channel/item[2]/description)"), "Text & víc....");
        // The channel comes from the project: the site title and the main
        // address; each item has its date and a guid that is its link.
        EXPECT_EQ(text("string(/rss/channel/title)"), "Zápisník & spol.");
        EXPECT_EQ(text("string(/rss/channel/link)"), kSite);
        EXPECT_EQ(text("string(/rss/channel/description)"),
                  language.empty() ? "Notes written with Tarvel Lite" : "Zápisky psané v Tarvel Lite");
        EXPECT_EQ(text("string(/rss/channel/item[3]/guid)"), kSite + "archiv/2003-04.html#030001");
        EXPECT_EQ(text("string(/rss/channel/item[3]/guid)"),
                  text("string(/rss/channel/item[3]/link)"));
        EXPECT_EQ(text("string(/rss/channel/item[3]/pubDate)").rfind("Thu, 03 Apr 2003 00:01:00 ", 0),
                  0u);
    }
}

// The site title reaches every page, in the page's character set.
TEST(StarterSite, SiteTitleHeadsEveryPage)
{
    StarterSite s("archiv/");
    s.generate(1);
    for (const std::string rel : {"index.html", "text.htm", "archiv/2003-04.html",
                                  "archiv/2003-04_030001.html"}) {
        const std::string page = readBytes(s.project.site + "/" + rel);
        EXPECT_NE(page.find("<title>Z\xE1pisn\xEDk & spol."), std::string::npos) << rel;
    }
}
