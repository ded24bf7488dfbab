// Where the Publishing tab sends the site: the fields of each target, and a
// project switched to a Git branch publishing from the window.
#include "ftpuifixture.h"

#include "core/openproject.h"
#include "sshserver.h"
#include "ui/widgets.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

using namespace tl;
using namespace tl::test;

namespace {

// The label of a row of the setup form, by the field it names.
QString labelOf(const MainWindow &w, const QWidget *field)
{
    for (QLabel *label : w.findChildren<QLabel *>())
        if (label->buddy() == field)
            return label->text();
    return "<no label>";
}

// Which of these fields are shown (on the Publishing tab).
QStringList shownOf(const MainWindow &w, const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        if (!control(w, n.toLatin1().constData())->isHidden())
            out << n;
    return out;
}

const QStringList kTargetFields = { "edtFTPADDRESS", "edtUSER", "edtFIREWALL", "edtPORT",
    "chkPROXY", "chkPASSIVE", "chkFTPS", "chkSFTP", "edtGITURL", "edtGITBRANCH", "edtS3ENDPOINT",
    "edtS3REGION", "edtS3BUCKET", "edtS3KEYID", "rPATHMAIN", "rDATAPATH", "edtNOTE" };

} // namespace

TEST(PublishingTargets, TheChosenTargetShowsOnlyItsFieldsAndNamesThePasswordForIt)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    auto *target = control<RadioGroup>(w, "rgTARGET");
    auto *send = control<QPushButton>(w, "btnSENDFTP");
    const QWidget *passwordRow = control(w, "edtPASSWORD")->parentWidget();
    const QWidget *remoteMain = control(w, "rPATHMAIN");
    EXPECT_EQ(target->itemIndex(), 0);

    EXPECT_EQ(shownOf(w, kTargetFields),
        QStringList({ "edtFTPADDRESS", "edtUSER", "edtFIREWALL", "edtPORT", "chkPROXY",
            "chkPASSIVE", "chkFTPS", "chkSFTP", "rPATHMAIN", "rDATAPATH", "edtNOTE" }));
    EXPECT_EQ(labelOf(w, passwordRow), "Password:");
    EXPECT_EQ(labelOf(w, remoteMain), "Remote path:");
    EXPECT_FALSE(send->isEnabled());

    target->setItemIndex(1);
    EXPECT_EQ(w.project().settings().server.target, PublishTarget::Git);
    EXPECT_EQ(shownOf(w, kTargetFields),
        QStringList({ "edtGITURL", "edtGITBRANCH", "rPATHMAIN", "rDATAPATH", "edtNOTE" }));
    EXPECT_EQ(labelOf(w, passwordRow), "Token:");
    EXPECT_EQ(labelOf(w, control(w, "edtGITURL")), "Repository:");
    EXPECT_EQ(labelOf(w, remoteMain), "Site folder:");
    // SSH keys, or a repository that asks no token.
    EXPECT_TRUE(send->isEnabled());
    EXPECT_EQ(send->text(), "Send to Git");

    target->setItemIndex(2);
    EXPECT_EQ(shownOf(w, kTargetFields),
        QStringList({ "edtS3ENDPOINT", "edtS3REGION", "edtS3BUCKET", "edtS3KEYID", "rPATHMAIN",
            "rDATAPATH", "edtNOTE" }));
    EXPECT_EQ(labelOf(w, passwordRow), "Secret:");
    EXPECT_EQ(labelOf(w, control(w, "edtS3KEYID")), "Access key ID:");
    EXPECT_EQ(labelOf(w, remoteMain), "Site prefix:");
    EXPECT_FALSE(send->isEnabled());
    EXPECT_EQ(send->text(), "Send to S3");
    setFieldText(w, "edtPASSWORD", "secret");
    EXPECT_TRUE(send->isEnabled());
}

TEST_F(FtpTab, AProjectSwitchedToAGitBranchPublishesTheSiteToTheBranch)
{
    if (QStandardPaths::findExecutable("git").isEmpty())
        GTEST_SKIP() << "git is not installed";
    const QString repository = root() + "pages.git";
    ASSERT_EQ(runProgram("git", { "init", "-q", "--bare", repository }), 0);
    setField("edtPASSWORD", "");
    control<RadioGroup>(w(), "rgTARGET")->setItemIndex(1);
    setField("edtGITURL", "file://" + repository);
    setField("rPATHMAIN", "/");
    setField("rDATAPATH", ""); // the posts stay off the branch
    setField("edtAUTHOR", "Jana");
    setField("edtEMAIL", "jana@example.cz");
    // The branch has none of the site yet: everything is queued.
    generate();
    EXPECT_TRUE(queuedPosts().isEmpty());
    logView()->clear();

    pressSend();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_TRUE(w().statusText().startsWith("Sent ")) << w().statusText().toStdString();
    EXPECT_TRUE(queued().isEmpty());
    const QString clone = root() + "clone";
    ASSERT_EQ(runProgram("git", { "-c", "protocol.file.allow=always", "clone", "-q", "--branch",
                                    "gh-pages", "file://" + repository, clone }),
        0);
    auto files = filesBelow(clone);
    std::erase_if(files, [](const auto &f) { return f.first.startsWith(".git/"); });
    EXPECT_EQ(files, filesBelow(site()));
    QByteArray author;
    runProgram("git", { "-C", clone, "log", "-1", "--format=%an <%ae>" }, &author);
    EXPECT_EQ(author.trimmed(), "Jana <jana@example.cz>");
}
