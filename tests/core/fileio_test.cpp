// Whole-file replacement without a flush, and the update that leaves a file
// alone when it already holds the bytes.

#include "core/errors.h"
#include "core/fileio.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

using namespace tl;

namespace {

std::vector<std::string> entriesOf(const std::string &folder)
{
    std::vector<std::string> out;
    for (const QString &n : QDir(QString::fromStdString(folder))
                                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        out.push_back(n.toStdString());
    return out;
}

} // namespace

TEST(UpdateWholeFile, SameBytesLeaveTheFileAloneOtherBytesReplaceIt)
{
    QTemporaryDir tmp;
    const std::string path = tmp.path().toStdString() + "/page.html";
    FileStamp first, again;
    EXPECT_EQ(updateWholeFile(path, "<p>one</p>", &first), WriteOutcome::Rewritten);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(updateWholeFile(path, "<p>one</p>", &again), WriteOutcome::Unchanged);
    EXPECT_EQ(again, first);
    FileStamp onDisk;
    ASSERT_TRUE(statFile(path, onDisk));
    EXPECT_EQ(onDisk, first); // same inode, same times

    // Same size, other bytes; then shorter; then empty.
    for (const std::string bytes : {"<p>two</p>", "<p>2</p>", ""}) {
        FileStamp now;
        EXPECT_EQ(updateWholeFile(path, bytes, &now), WriteOutcome::Rewritten) << bytes;
        EXPECT_EQ(readWholeFile(path), bytes);
        EXPECT_NE(now, first);
        first = now;
    }
    EXPECT_EQ(entriesOf(tmp.path().toStdString()), std::vector<std::string>{"page.html"});
}

TEST(UpdateWholeFile, ReplacementKeepsPermissionsAndLeavesNoTemporaryFile)
{
    QTemporaryDir tmp;
    const std::string path = tmp.path().toStdString() + "/page.html";
    replaceWholeFile(path, "old");
    // A new file gets the permissions any new file gets.
    const std::string plain = tmp.path().toStdString() + "/plain";
    ::close(::open(plain.c_str(), O_WRONLY | O_CREAT, 0666));
    struct stat fresh {}, usual {};
    ASSERT_EQ(::stat(path.c_str(), &fresh), 0);
    ASSERT_EQ(::stat(plain.c_str(), &usual), 0);
    EXPECT_EQ(fresh.st_mode, usual.st_mode);
    ::unlink(plain.c_str());
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    replaceWholeFile(path, "new");
    EXPECT_EQ(updateWholeFile(path, "newer"), WriteOutcome::Rewritten);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readWholeFile(path), "newer");
    EXPECT_EQ(entriesOf(tmp.path().toStdString()), std::vector<std::string>{"page.html"});
}

TEST(UpdateWholeFile, FailureSaysCannotCreateAndLeavesWhatWasThere)
{
    QTemporaryDir tmp;
    const std::string root = tmp.path().toStdString();
    const std::string missing = root + "/nosuch/page.html";
    try {
        updateWholeFile(missing, "x");
        ADD_FAILURE() << "no failure";
    } catch (const AppError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
    }
    // A folder where the page should be cannot be replaced by it.
    const std::string folder = root + "/page.html";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(folder)));
    EXPECT_THROW(updateWholeFile(folder, "x"), AppError);
    EXPECT_EQ(entriesOf(root), std::vector<std::string>{"page.html"});
    EXPECT_TRUE(dirExists(folder));
}

TEST(ReadWholeFile, StampBelongsToTheBytesRead)
{
    QTemporaryDir tmp;
    const std::string path = tmp.path().toStdString() + "/post.txt";
    std::string big(100000, 'x');
    big[99999] = 'y';
    writeWholeFileAtomic(path, big);
    std::string out;
    FileStamp stamp, viaStat;
    ASSERT_TRUE(tryReadWholeFile(path, out, &stamp));
    EXPECT_EQ(out, big);
    ASSERT_TRUE(statFile(path, viaStat));
    EXPECT_EQ(stamp, viaStat);
    EXPECT_EQ(stamp.size, 100000);
    EXPECT_FALSE(tryReadWholeFile(tmp.path().toStdString(), out)); // a folder
    EXPECT_FALSE(tryReadWholeFile(path + ".none", out));
}
