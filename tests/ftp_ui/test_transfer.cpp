// A transfer in progress: the commands it holds off, Cancel, and progress.
#include "ftpuifixture.h"
#include "core/openproject.h"

#include "ui/widgets.h"
#include "publish/ftpclient.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

namespace {

// Runs `act` once, from the event loop, as soon as `ready` holds.
class WhenWaiting {
public:
    WhenWaiting(std::function<bool()> ready, std::function<void()> act)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, ready, act] {
            if (!done && ready()) {
                done = true;
                act();
            }
        });
        timer_.start(5);
    }
    bool done = false;

private:
    QTimer timer_;
};

struct Held {
    bool generate, readFromFtp, send, saveLocal, allFiles, projects, remove, cancel;
};

Held heldState(MainWindow &w)
{
    return {action(w, "actGENERATE")->isEnabled(), action(w, "actREADFROMFTP")->isEnabled(), control<QPushButton>(w, "btnSENDFTP")->isEnabled(),
            control<QPushButton>(w, "Button3")->isEnabled(),     control<QCheckBox>(w, "chkALLFILES")->isEnabled(),    control<QListWidget>(w, "lstPROJEKTY")->isEnabled(),
            control<QToolButton>(w, "RxSpeedButton3")->isEnabled(), control<QPushButton>(w, "btnCANCELFTP")->isEnabled()};
}

} // namespace

TEST_F(FtpTab, WhileASendWaitsOtherCommandsAreHeldAndCancelStopsItWithTheListsKept)
{
    generate();
    queueAllPosts();
    const QStringList files = queued();
    ScriptedFtp ftp;
    ftp.silent = {"STOR"}; // the server never answers the first file
    setFieldText(w(), "edtPORT", QString::number(ftp.port()));
    w().publishing().publisher().questions.noDataTimeoutMs = 10000;
    EXPECT_FALSE(control<QPushButton>(w(), "btnCANCELFTP")->isEnabled());

    Held during{};
    bool sendAfterTyping = true;
    WhenWaiting hook([&] { return !ftp.arguments("STOR").empty(); },
                     [&] {
                         during = heldState(w());
                         // A Read of an empty data folder disables Generate meanwhile.
                         QDir().mkpath(root() + "empty");
                         setFieldText(w(), "pathDATA", root() + "empty");
                         action(w(), "actREAD")->trigger();
                         setFieldText(w(), "pathDATA", data());
                         // Typing a password does not give the send button back early.
                         setFieldText(w(), "edtPASSWORD", "pw2");
                         sendAfterTyping = control<QPushButton>(w(), "btnSENDFTP")->isEnabled();
                         // A second send or read started anyway is refused.
                         w().publishing().send();
                         w().publishing().readServerPosts();
                         control<QPushButton>(w(), "btnCANCELFTP")->click();
                     });
    pressSend();

    ASSERT_TRUE(hook.done);
    EXPECT_FALSE(during.generate || during.readFromFtp || during.send || during.saveLocal
                 || during.allFiles || during.projects || during.remove);
    EXPECT_TRUE(during.cancel);
    EXPECT_FALSE(sendAfterTyping);

    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(logLines(), QStringList({"Starting transfer of index.html", "Read from list...",
                                       "Completed.", "Transfer cancelled"}));
    EXPECT_EQ(w().statusText(), "Transfer cancelled");
    EXPECT_EQ(queued(), files);
    EXPECT_EQ(ftp.connections, 1);

    const Held after = heldState(w());
    EXPECT_FALSE(after.generate); // as Read left it during the wait
    EXPECT_TRUE(after.readFromFtp && after.send && after.saveLocal && after.allFiles
                && after.projects && after.remove);
    EXPECT_FALSE(after.cancel);

    // The next send starts again from the first entry.
    ftp.silent.clear();
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    pressSend();
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    // Each file goes under a temporary name and is then renamed to its own.
    const auto stored = ftp.arguments("STOR");
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored[1], "/www/.index.html.part");
    const auto renamed = ftp.arguments("RNTO");
    ASSERT_GE(renamed.size(), 1u);
    EXPECT_EQ(renamed[0], "/www/index.html");
    EXPECT_EQ(logLines().first(), "Starting transfer of index.html");
    EXPECT_TRUE(queued().isEmpty());
}

TEST_F(FtpTab, CancelWhileFetchingKeepsTheListAndWritesNoFile)
{
    ScriptedFtp ftp;
    ftp.listing = "1700000000.txt\r\n1700090000.txt\r\n";
    ftp.silent = {"RETR"};
    setFieldText(w(), "edtPORT", QString::number(ftp.port()));
    w().publishing().publisher().questions.noDataTimeoutMs = 10000;
    pressRead();
    ASSERT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 2);
    const QString other = root() + "other-data";
    ASSERT_TRUE(QDir().mkpath(other));
    setFieldText(w(), "pathDATA", other);

    WhenWaiting hook([&] { return !ftp.arguments("RETR").empty(); },
                     [&] { control<QPushButton>(w(), "btnCANCELFTP")->click(); });
    pressSaveLocal();
    ASSERT_TRUE(hook.done);
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 2);
    EXPECT_TRUE(QDir(other).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(control<QPushButton>(w(), "Button3")->isEnabled());
}

TEST_F(FtpTab, ProgressNamesEachFileAndFollowsItsBytes)
{
    generate();
    const QString big = data() + "/big.txt";
    std::string bytes(3 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < bytes.size(); i += 97)
        bytes[i] = static_cast<char>(i % 251);
    writeBytes(big, bytes);
    queueAllPosts(); // big.txt is the last of the data folder's files
    ASSERT_EQ(queued().last(), big);
    const int n = static_cast<int>(queued().size());

    QStringList statuses;
    QObject::connect(control<QStatusBar>(w(), "StatusBar1"), &QStatusBar::messageChanged,
                     [&](const QString &m) { statuses << m; });
    std::vector<int> values;
    QObject::connect(control<QProgressBar>(w(), "pbFTP"), &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });

    pressSend();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_TRUE(sameFile(serverPath("data/big.txt"), big));
    EXPECT_EQ(statuses.first(), QString("Sending index.html (1 of %1)").arg(n));
    EXPECT_TRUE(statuses.contains(QString("Sending big.txt (%1 of %1)").arg(n)));
    EXPECT_TRUE(w().statusText().startsWith(QString("Sent %1 files (").arg(n)))
        << w().statusText().toStdString();
    // The big file passed through values between empty and full.
    const auto partial = std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 1000; });
    EXPECT_GE(partial, 3);
    EXPECT_NE(std::find(values.begin(), values.end(), 1000), values.end());
    EXPECT_EQ(control<QProgressBar>(w(), "pbFTP")->value(), 0);
}
