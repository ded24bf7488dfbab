// Moving a file to the desktop's trash.
#include "core/trash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// HOME, XDG_DATA_HOME and the current folder as a test sets them, restored
// afterwards.
class Environment {
public:
    Environment()
        : home_(qgetenv("HOME"))
        , dataHome_(qgetenv("XDG_DATA_HOME"))
        , cwd_(QDir::currentPath())
    {
    }
    ~Environment()
    {
        qputenv("HOME", home_);
        if (dataHome_.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", dataHome_);
        QDir::setCurrent(cwd_);
    }

private:
    QByteArray home_, dataHome_;
    QString cwd_;
};

void touch(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("post");
}

} // namespace

// A user without ~/.local/share: the trash is made there, never in a
// "files" folder of the current folder.
TEST(Trash, AUserWithoutATrashGetsOneAndTheWorkingFolderStaysClean)
{
    Environment restore;
    QTemporaryDir home, work;
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_DATA_HOME");
    QDir::setCurrent(work.path());
    const QString file = work.path() + "/1049328060.txt";
    touch(file);

    ASSERT_TRUE(tl::moveToTrash(file));
    EXPECT_FALSE(QFile::exists(file));
    const QString trash = home.path() + "/.local/share/Trash";
    EXPECT_EQ(tl::userTrashFolder(), trash);
    EXPECT_TRUE(QFile::exists(trash + "/files/1049328060.txt"));
    EXPECT_TRUE(QFile::exists(trash + "/info/1049328060.txt.trashinfo"));
    EXPECT_EQ(QFile::permissions(trash) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    // XDG_DATA_HOME, when set, is where the trash is.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path() + "/share"));
    touch(file);
    ASSERT_TRUE(tl::moveToTrash(file));
    EXPECT_TRUE(QFile::exists(data.path() + "/share/Trash/files/1049328060.txt"));
}
