// A new project's starter site comes in the writer's language: Czech when the
// program runs with the Czech interface-text file, English otherwise.
#include "core/programfiles.h"
#include "core/projects.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

TEST(NewProjectStarterSite, CzechWithTheCzechInterfaceTextsEnglishOtherwise)
{
    QTemporaryDir program;
    setProgramFolderOverride(program.path().toStdString() + "/");
    const QString defaults = QStringLiteral(TL_SOURCE_DIR "/conf");

    const auto check = [&](const QString &blog, const QString &from) {
        ASSERT_TRUE(QDir().mkpath(blog));
        const NewProjectFolders f = createProjectFolders(blog, defaults);
        for (const QString &name : defaultTemplateFiles())
            EXPECT_EQ(bytesOf(f.confFolder + "/" + name), bytesOf(from + "/" + name)) << name.toStdString();
        EXPECT_EQ(bytesOf(f.dataFolder + "/" + samplePostFile()),
                  bytesOf(from + "/" + samplePostFile()));
    };
    check(program.path() + "/english", defaults);
    EXPECT_TRUE(bytesOf(defaults + "/template.htm").contains("<html lang=\"en\">"));

    QFile lng(program.path() + "/czech.lng");
    ASSERT_TRUE(lng.open(QIODevice::WriteOnly));
    lng.close();
    check(program.path() + "/czech", defaults + "/cs");
    EXPECT_TRUE(bytesOf(defaults + "/cs/template.htm").contains("<html lang=\"cs\">"));

    setProgramFolderOverride("");
}

} // namespace
