// The record of what a project has sent.
#include "testsupport.h"

#include "publish/sendrecord.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

TEST(SendRecord, RemembersContentAcrossLoadsAndNoticesAnyChange)
{
    QTemporaryDir tmp;
    const QString page = tmp.path() + "/index.html", post = tmp.path() + "/1.txt";
    writeBytes(page, "<p>one</p>");
    writeBytes(post, "Title\r\nBody");
    const QString path = SendRecord::pathFor(tmp.path() + "/blog.tvp");
    EXPECT_EQ(path, tmp.path() + "/blog.sent");

    SendRecord r = SendRecord::load(path);
    EXPECT_TRUE(r.needsSending("www/index.html", page));
    r.setSiteFiles({page});
    r.confirmSent("www/index.html", SendRecord::contentOf(page)); // journalled at once
    r.confirmSent("data/1 x.txt", SendRecord::contentOf(post));

    SendRecord again = SendRecord::load(path);
    EXPECT_FALSE(again.needsSending("www/index.html", page));
    EXPECT_FALSE(again.needsSending("data/1 x.txt", post));
    EXPECT_TRUE(again.needsSending("other/index.html", page)) << "another remote name was never sent";

    // Same size, new bytes and a new time: hashed and found different.
    writeBytes(page, "<p>two</p>");
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    f.close();
    EXPECT_TRUE(again.needsSending("www/index.html", page));
    // Touched but unchanged: hashed and found the same.
    writeBytes(page, "<p>one</p>");
    EXPECT_FALSE(again.needsSending("www/index.html", page));
    QFile::remove(post);
    EXPECT_TRUE(again.needsSending("data/1 x.txt", post));

    again.save();
    EXPECT_EQ(SendRecord::load(path).siteFiles(), QStringList{page});
    EXPECT_EQ(SendRecord::load(path).sentCount(), 2u);
}

TEST(SendRecord, DamagedOrTruncatedRecordsMeanNothingSentAndNeverCrash)
{
    QTemporaryDir tmp;
    const QString page = tmp.path() + "/a.html";
    writeBytes(page, "page");
    const QString path = tmp.path() + "/p.sent";
    SendRecord r = SendRecord::load(path);
    r.confirmSent("a.html", SendRecord::contentOf(page));
    r.save();
    const std::string good = fileBytes(path);

    // Every truncation either keeps the entry whole or loses it.
    for (std::size_t n = 0; n < good.size(); ++n) {
        writeBytes(path, good.substr(0, n));
        SendRecord cut = SendRecord::load(path);
        EXPECT_TRUE(cut.needsSending("a.html", page)) << n;
    }
    for (const std::string &junk :
         {std::string("garbage\n"), std::string("tarvlit-sent 1\nsent x y z w\n"),
          std::string("tarvlit-sent 1\nsent 4 0 zz a.html\n"), std::string(1000, '\0'),
          std::string("tarvlit-sent 1\nsent -4 0 ") + std::string(64, 'a') + " a.html\n"}) {
        writeBytes(path, junk);
        EXPECT_TRUE(SendRecord::load(path).needsSending("a.html", page));
    }
}

} // namespace
