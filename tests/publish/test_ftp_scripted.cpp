// The FTP client against a scripted server: exact replies, byte by byte, on
// loopback. One table of scenarios; each ends in its defined error or success
// within a few seconds (a watchdog cancels the client if one ever hangs).
#include "ftptestutil.h"
#include "publish/ftpclient.h"
#include "scriptserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace tl;
using namespace tl::test;

namespace {

struct Ctx {
    Ctx(FtpClient &f, ScriptServer &s, const QString &d) : ftp(f), server(s), dir(d) {}
    FtpClient &ftp;
    ScriptServer &server;
    QString dir;
    std::vector<std::string> events;   // the client's refusals, in order
    std::vector<std::string> statuses; // status reports up to level 1
    std::vector<std::string> items;    // names delivered by NList
    qint64 announced = -1;             // the size of a transfer as it began
    bool handleFailures = false;       // OnFailure answers Handled
    bool flag = false;                 // free for a scenario's script

    std::string path(const char *name) const { return (dir + "/" + name).toStdString(); }
    QString qpath(const char *name) const { return dir + "/" + name; }
    bool hasEvent(const std::string &e) const
    {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

struct Scenario {
    const char *name;
    std::function<void(Ctx &)> script; // sets up the server (may be empty)
    std::function<void(Ctx &)> run;    // the client's work
    std::string kind = {};             // expected outcome: "" success
    std::string message = {};
    std::function<void(Ctx &)> check = {}; // further expectations (may be empty)
    int noDataMs = 3000;
};

using Verbs = std::vector<std::string>;

void login(Ctx &c) { c.ftp.Connect(); }

ScriptServer::Handler answer(const char *text)
{
    return [text](ScriptSession &s, const std::string &) { s.reply(text); };
}

ScriptServer::Handler silent()
{
    return [](ScriptSession &, const std::string &) {};
}

std::vector<Scenario> scenarios()
{
    const QByteArray content = patternBytes(5000, 7);
    return {
        // ---- greeting and login ----
        {"MultiLineGreetingIsReadToItsLastLine",
         [](Ctx &c) { c.server.greeting = "220-Welcome\r\n220-to the\r\n indented\r\n220 Ready\r\n"; },
         login, "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"ContinuationWithoutDashEndsTheReplyEarly",
         [](Ctx &c) { c.server.greeting = "220-Hi\r\nplain text\r\n220 Ready\r\n"; },
         login, "", "",
         [](Ctx &c) {
             // "220 Ready" was taken as the answer to USER: logged in, no PASS.
             spinUntil([&c] { return !c.server.commands.empty(); });
             spinUntil([] { return false; }, 50);
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER"}));
             EXPECT_EQ(c.ftp.LastReply(), "220 Ready\r\n");
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"Reply230ToUserLogsInWithoutPass",
         [](Ctx &c) { c.server.handlers["USER"] = answer("230 Welcome\r\n"); }, login, "", "",
         [](Ctx &c) { EXPECT_EQ(c.server.verbs(), (Verbs{"USER"})); }},
        {"Reply332ToUserLogsInWithoutPassOrAccount",
         [](Ctx &c) { c.server.handlers["USER"] = answer("332 Need account\r\n"); }, login, "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"Reply400ToUserIsAccepted",
         [](Ctx &c) { c.server.handlers["USER"] = answer("400 Odd but fine\r\n"); }, login, "", "",
         [](Ctx &c) { EXPECT_TRUE(c.ftp.Connected()); }},
        {"Reply401ToUserRefusesTheLogin",
         [](Ctx &c) { c.server.handlers["USER"] = answer("401 Not you\r\n"); }, login,
         "FTPException", "401 Not you\r\n",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "QUIT"}));
             EXPECT_FALSE(c.ftp.Connected());
             EXPECT_EQ(c.statuses.back(), "Disconnected");
         }},
        {"WrongPasswordRefusesTheLoginAndHidesThePassword",
         [](Ctx &c) { c.server.handlers["PASS"] = answer("530 Login incorrect.\r\n"); }, login,
         "FTPException", "530 Login incorrect.\r\n",
         [](Ctx &c) {
             EXPECT_EQ(c.server.commands[1], "PASS pw");
             EXPECT_FALSE(c.ftp.Connected());
             for (const std::string &s : c.statuses)
                 EXPECT_EQ(s.find("pw"), std::string::npos) << s;
             EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), "PASS "), c.statuses.end());
         }},
        {"ProxyLoginNamesTheRealHost",
         [](Ctx &c) {
             c.ftp.Proxy = "127.0.0.1";
             c.ftp.ProxyPort = c.server.port();
             c.ftp.Host = "ftp.example.com";
             c.ftp.Port = 1;
         },
         login, "", "",
         [](Ctx &c) {
             ASSERT_EQ(c.server.commands.size(), 2u);
             EXPECT_EQ(c.server.commands[0], "USER user@ftp.example.com");
             EXPECT_EQ(c.server.commands[1], "PASS pw");
             EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), "USER user"), c.statuses.end());
         }},
        {"Greeting421FailsWithSocketReadlnAborted",
         [](Ctx &c) {
             c.server.greeting = "421 Too many users\r\n";
             c.server.handlers["USER"] = answer("331 should not be asked\r\n");
         },
         login, "EAbortError", "Socket readln aborted",
         [](Ctx &c) {
             EXPECT_FALSE(c.ftp.Connected());
             // QUIT is said, but its answer not awaited.
             spinUntil([&c] { return !c.server.commands.empty(); });
             EXPECT_EQ(c.server.verbs(), (Verbs{"QUIT"}));
         }},
        {"Greeting421WithHangUpFailsWithSocketReadlnAborted",
         [](Ctx &c) {
             c.server.greeting = "421 Service not available\r\n";
             c.server.hangUpAfterGreeting = true;
         },
         login, "EAbortError", "Socket readln aborted",
         [](Ctx &c) {
             EXPECT_FALSE(c.ftp.Connected());
             EXPECT_TRUE(c.server.commands.empty());
         }},
        {"SecondConnectDoesNothing", nullptr,
         [](Ctx &c) {
             c.ftp.Connect();
             c.ftp.Connect();
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.connections, 1);
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"}));
         }},
        {"RefusedConnectionFailsWithConnectionFailed",
         [](Ctx &c) {
             QTcpServer closed;
             closed.listen(QHostAddress::LocalHost, 0);
             c.ftp.Port = closed.serverPort();
         },
         login, "ESockError", "Connection Failed",
         [](Ctx &c) {
             EXPECT_FALSE(c.ftp.Connected());
             EXPECT_EQ(c.ftp.LastErrorNo(), 10061);
         }},
        {"UnresolvableNameFailsWithNullRemoteAddress",
         [](Ctx &c) { c.ftp.Host = "bad..name"; }, login, "ESockError", "Null Remote Address",
         [](Ctx &c) { EXPECT_EQ(c.server.connections, 0); }},

        // ---- commands and judging bands ----
        {"Cwd399Succeeds", [](Ctx &c) { c.server.handlers["CWD"] = answer("399 Fine\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("data");
         },
         "", "", [](Ctx &c) { EXPECT_EQ(c.server.commands.back(), "CWD data"); }},
        {"Cwd400Fails", [](Ctx &c) { c.server.handlers["CWD"] = answer("400 No\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("data");
         },
         "FTPException", "400 No\r\n",
         [](Ctx &c) {
             EXPECT_TRUE(c.hasEvent("Failure(0)"));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"Cwd501RaisesTheFailureThenTheException",
         [](Ctx &c) { c.server.handlers["CWD"] = answer("501 Syntax error\r\n"); },
         [](Ctx &c) {
             login(c);
             c.events.clear();
             c.ftp.ChangeDir("data");
         },
         "FTPException", "501 Syntax error\r\n",
         [](Ctx &c) { EXPECT_EQ(c.events, (Verbs{"Failure(0)"})); }},
        {"HandledFailureCarriesOn",
         [](Ctx &c) {
             c.server.handlers["DELE"] = answer("550 Cannot\r\n");
             c.handleFailures = true;
         },
         [](Ctx &c) {
             login(c);
             c.ftp.DoCommand("DELE old.txt");
         },
         "", "", [](Ctx &c) { EXPECT_TRUE(c.hasEvent("Failure(2)")); }},
        {"DoCommandKindOfOtherCommands",
         [](Ctx &c) { c.server.handlers["MKD"] = answer("550 Exists\r\n"); },
         [](Ctx &c) {
             login(c);
             c.handleFailures = true;
             c.ftp.DoCommand("MKD new");
             c.ftp.DoCommand("PWD");
             c.ftp.DoCommand("NOOP x");
         },
         "", "",
         [](Ctx &c) {
             // PWD and NOOP get the standard 502: kinds 15 and 14.
             EXPECT_EQ(c.events, (Verbs{"Failure(1)", "Failure(15)", "Failure(14)"}));
         }},
        {"QuitAnswered500ClosesAndRaises",
         [](Ctx &c) { c.server.handlers["QUIT"] = answer("500 No quitting\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.Disconnect();
         },
         "FTPException", "500 No quitting\r\n",
         [](Ctx &c) { EXPECT_FALSE(c.ftp.Connected()); }},
        {"DisconnectSaysQuitAndCloses", nullptr,
         [](Ctx &c) {
             login(c);
             c.ftp.Disconnect();
             c.ftp.Disconnect(); // not connected: nothing
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS", "QUIT"}));
             EXPECT_FALSE(c.ftp.Connected());
         }},
        {"OperationsWithoutConnectionFailWithNotConnected", nullptr,
         [](Ctx &c) {
             for (auto op : std::vector<std::function<void()>>{
                      [&] { c.ftp.NList(); }, [&] { c.ftp.Upload(c.path("x"), "x"); },
                      [&] { c.ftp.Download("x", c.path("x")); }}) {
                 Outcome o = outcomeOf(op);
                 EXPECT_EQ(o.kind, "AppError");
                 EXPECT_EQ(o.message, "Not Connected");
             }
             c.ftp.ChangeDir("x");
         },
         "AppError", "Not Connected", [](Ctx &c) { EXPECT_EQ(c.server.connections, 0); }},

        // ---- reading replies ----
        {"RepliesDribbledOneByteAtATime",
         [](Ctx &c) {
             c.server.dribble = true;
             c.server.greeting = "220-Slow\r\n220 server\r\n";
             c.server.listing = "a.txt\r\nb.txt\r\n";
         },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
             c.ftp.NList();
             c.ftp.Disconnect();
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.items, (Verbs{"a.txt", "b.txt"}));
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS", "CWD", "PORT", "NLST", "QUIT"}));
         }},
        {"SeveralRepliesInOneReadLeaveNoStaleReply",
         [](Ctx &c) {
             c.server.handlers["PASS"] = answer("230-Welcome\r\n230 Logged in\r\n250 Stale extra\r\n");
             c.server.handlers["CWD"] = answer("550 No such folder\r\n");
         },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
         },
         "FTPException", "550 No such folder\r\n"},
        {"ZeroByteInAReplyIsData",
         [](Ctx &c) {
             c.server.greeting = QByteArray("220 Hel\0lo\r\n", 12);
             c.server.handlers["CWD"] = [](ScriptSession &s, const std::string &) {
                 s.reply(QByteArray("250 a\0b\r\n", 9));
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
         },
         "", "",
         [](Ctx &c) { EXPECT_EQ(c.ftp.LastReply(), std::string("250 a\0b\r\n", 9)); }},
        {"OverlongReplyLineIsAnError",
         [](Ctx &c) {
             c.server.handlers["USER"] = [](ScriptSession &s, const std::string &) {
                 s.reply("331 " + QByteArray(70000, 'x') + "\r\n");
             };
         },
         login, "ESockError", "Reply line too long"},
        {"OverlongReplyWithoutLineFeedFailsAtOnce",
         [](Ctx &c) {
             c.server.handlers["USER"] = [](ScriptSession &s, const std::string &) {
                 s.reply(QByteArray(70000, 'x'));
             };
         },
         login, "ESockError", "Reply line too long", nullptr, 60000},
        {"ServerClosesWhileAReplyIsAwaited",
         [](Ctx &c) {
             c.server.handlers["CWD"] = [](ScriptSession &s, const std::string &) { s.closeControl(); };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
         },
         "ESockError", "Connection closed by the remote host",
         [](Ctx &c) { EXPECT_FALSE(c.ftp.Connected()); }, 60000},
        {"SilentServerEndsTheWaitWithNoAnswer",
         [](Ctx &c) { c.server.handlers["CWD"] = silent(); },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
         },
         "ESockError", "The server did not answer", nullptr, 300},
        {"Reply421ToACommandAbortsIt",
         [](Ctx &c) {
             c.server.handlers["CWD"] = [](ScriptSession &s, const std::string &) {
                 s.reply("421 Timeout\r\n");
                 s.closeControl();
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("x");
         },
         "EAbortError", "Socket readln aborted"},

        // ---- refusing injected commands ----
        {"CommandWithLineBreakIsRefusedBeforeSending", nullptr,
         [](Ctx &c) {
             login(c);
             c.ftp.ChangeDir("a\r\nDELE b");
         },
         "FTPException", kMsgBadCommandChar,
         [](Ctx &c) { EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"})); }},
        {"TransferNamesWithLineBreakOrZeroAreRefused", nullptr,
         [](Ctx &c) {
             login(c);
             writeFileBytes(c.qpath("up.txt"), "x");
             for (auto op : std::vector<std::function<void()>>{
                      [&] { c.ftp.Upload(c.path("up.txt"), "x\nDELE y"); },
                      [&] { c.ftp.Download(std::string("a\0b", 3), c.path("d")); },
                      [&] { c.ftp.Download("a\rb", c.path("d")); },
                      [&] { c.ftp.DoCommand(std::string("NOOP\0DELE y", 11)); }}) {
                 Outcome o = outcomeOf(op);
                 EXPECT_EQ(o.kind, "FTPException");
                 EXPECT_EQ(o.message, kMsgBadCommandChar);
             }
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"}));
             EXPECT_FALSE(QFile::exists(c.qpath("d")));
         }},
        {"UserOrPasswordWithLineBreakIsRefusedBeforeConnecting",
         [](Ctx &c) { c.ftp.Password = "pw\r\nDELE x"; }, login, "FTPException", kMsgBadCommandChar,
         [](Ctx &c) { EXPECT_EQ(c.server.connections, 0); }},

        // ---- listings ----
        {"ListingLineEnds",
         [](Ctx &c) { c.server.listing = "crlf.txt\r\nlf.txt\nx\n\r\n\nlast-without-lf"; },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "", "",
         [](Ctx &c) { EXPECT_EQ(c.items, (Verbs{"crlf.txt", "lf.txt", "x", "last-without-lf"})); }},
        {"EmptyListingSucceedsWithoutItems", [](Ctx &c) { c.server.listing = ""; },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "", "", [](Ctx &c) { EXPECT_TRUE(c.items.empty()); }},
        {"Port301RefusesAListingWithoutFailureEvent",
         [](Ctx &c) { c.server.handlers["PORT"] = answer("301 No\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "FTPException", "301 No\r\n",
         [](Ctx &c) {
             EXPECT_FALSE(c.hasEvent("Failure(13)"));
             EXPECT_EQ(c.server.verbs().back(), "PORT");
         }},
        {"NlstRefusedRaisesAtOnce",
         [](Ctx &c) { c.server.handlers["NLST"] = answer("550 No files\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "FTPException", "550 No files\r\n",
         [](Ctx &c) { EXPECT_EQ(c.events.back(), "Failure(13)"); }},
        {"ServerNeverConnectsBackForTheData",
         [](Ctx &c) { c.server.handlers["NLST"] = answer("150 Here it comes\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "ESockError", "The server did not answer", nullptr, 300},
        {"ControlClosedWhileAwaitingTheDataConnection",
         [](Ctx &c) {
             c.server.handlers["NLST"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Here it comes\r\n");
                 s.closeControl();
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "ESockError", "Connection closed by the remote host",
         [](Ctx &c) { EXPECT_FALSE(c.ftp.Connected()); }, 60000},
        {"DataConnectionFromAnotherAddressIsRefused",
         [](Ctx &c) {
             c.server.listing = "right.txt\r\n";
             c.server.handlers["NLST"] = [&c](ScriptSession &s, const std::string &) {
                 s.reply("150 Here it comes\r\n");
                 // First a stranger from 127.0.0.2, then the server itself.
                 QTcpSocket *stranger = s.openData([&s, &c](QTcpSocket *) {
                     s.openData([&s](QTcpSocket *d) {
                         s.sendDataAndClose(d, s.server.listing,
                                            [&s] { s.reply("226 Done\r\n"); });
                     });
                 }, QHostAddress("127.0.0.2"));
                 QObject::connect(stranger, &QTcpSocket::disconnected, [&c] { c.flag = true; });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.NList();
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.items, (Verbs{"right.txt"}));
             EXPECT_TRUE(c.flag) << "the stranger's connection was not closed";
         }},

        // ---- transfers ----
        {"SizeRuleTakesTheAnnouncedSize",
         [content](Ctx &c) { c.server.fileContent = content; },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.bin", c.path("f.bin"));
         },
         "", "",
         [content](Ctx &c) {
             EXPECT_EQ(c.announced, content.size());
             EXPECT_EQ(c.ftp.ByteCount(), content.size());
             EXPECT_EQ(readFileBytes(c.qpath("f.bin")), content);
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"f.bin"}));
         }},
        {"SizeTakenFromAContinuationLine",
         [](Ctx &c) {
             c.server.fileContent = "0123456789";
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150-Opening data connection\r\n150 Size (10 bytes) follows\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     s.sendDataAndClose(d, s.server.fileContent, [&s] { s.reply("226 Done\r\n"); });
                 });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "", "",
         [](Ctx &c) {
             EXPECT_EQ(c.announced, 10);
             EXPECT_EQ(c.ftp.ByteCount(), 10);
             EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("0123456789"));
         }},
        {"Port300IsAcceptedForAnUpload",
         [](Ctx &c) { c.server.handlers["PORT"] = answer("300 Whatever\r\n"); },
         [content](Ctx &c) {
             writeFileBytes(c.qpath("up.bin"), content);
             login(c);
             c.ftp.Upload(c.path("up.bin"), "remote.bin");
         },
         "", "",
         [content](Ctx &c) {
             EXPECT_EQ(c.server.stored, content);
             EXPECT_EQ(c.server.storedName, "remote.bin");
         }},
        {"Port301RefusesAnUpload",
         [](Ctx &c) { c.server.handlers["PORT"] = answer("301 No\r\n"); },
         [](Ctx &c) {
             writeFileBytes(c.qpath("up.bin"), "x");
             login(c);
             c.ftp.Upload(c.path("up.bin"), "");
         },
         "FTPException", "301 No\r\n",
         [](Ctx &c) {
             EXPECT_TRUE(c.hasEvent("Failure(9)"));
             EXPECT_EQ(c.server.verbs().back(), "PORT");
         }},
        {"Port301RefusesADownload",
         [](Ctx &c) { c.server.handlers["PORT"] = answer("301 No\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f", c.path("f"));
         },
         "FTPException", "301 No\r\n",
         [](Ctx &c) {
             EXPECT_TRUE(c.hasEvent("Failure(8)"));
             EXPECT_TRUE(folderEntries(c.dir).empty());
         }},
        {"Stor502IsAnUploadFailure",
         [](Ctx &c) { c.server.handlers["STOR"] = answer("502 No uploads\r\n"); },
         [](Ctx &c) {
             writeFileBytes(c.qpath("up.bin"), "x");
             login(c);
             c.events.clear();
             c.ftp.Upload(c.path("up.bin"), "r");
         },
         "FTPException", "502 No uploads\r\n",
         [](Ctx &c) { EXPECT_EQ(c.events, (Verbs{"Failure(9)"})); }},
        {"Retr550IsADownloadFailureAndLeavesTheFileAlone",
         [](Ctx &c) {
             c.server.handlers["RETR"] = answer("550 No such file\r\n");
             writeFileBytes(c.qpath("keep.txt"), "old");
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("keep.txt", c.path("keep.txt"));
         },
         "FTPException", "550 No such file\r\n",
         [](Ctx &c) {
             EXPECT_TRUE(c.hasEvent("Failure(8)"));
             EXPECT_EQ(readFileBytes(c.qpath("keep.txt")), QByteArray("old"));
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"keep.txt"}));
         }},
        {"UploadOfMissingFileFailsWithCannotOpen", nullptr,
         [](Ctx &c) {
             login(c);
             c.ftp.Upload(c.path("missing.bin"), "r");
         },
         "AppError", "", // message checked below: it names the path
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"DownloadIntoMissingFolderFailsWithCannotCreate", nullptr,
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f", c.path("no/such/f"));
         },
         "AppError", "",
         [](Ctx &c) {
             EXPECT_EQ(c.server.verbs(), (Verbs{"USER", "PASS"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"UploadWithEmptyRemoteNameStoresTheBareName", nullptr,
         [content](Ctx &c) {
             writeFileBytes(c.qpath("bare.bin"), content);
             login(c);
             c.ftp.Upload(c.path("bare.bin"), "");
         },
         "", "",
         [content](Ctx &c) {
             EXPECT_EQ(c.server.storedName, "bare.bin");
             EXPECT_EQ(c.server.stored, content);
         }},
        {"DownloadWithEmptyLocalPathUsesTheRemoteName",
         [](Ctx &c) { c.server.fileContent = "remote bytes"; },
         [](Ctx &c) {
             login(c);
             QString old = QDir::currentPath();
             QDir::setCurrent(c.dir);
             Outcome o = outcomeOf([&] { c.ftp.Download("got.txt", ""); });
             QDir::setCurrent(old);
             EXPECT_EQ(o.kind, "") << o.message;
         },
         "", "",
         [](Ctx &c) { EXPECT_EQ(readFileBytes(c.qpath("got.txt")), QByteArray("remote bytes")); }},
        {"DownloadReplacesAnExistingFile",
         [](Ctx &c) {
             c.server.fileContent = "";
             writeFileBytes(c.qpath("f.txt"), "old content");
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "", "",
         [](Ctx &c) {
             EXPECT_TRUE(QFile::exists(c.qpath("f.txt")));
             EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray());
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"f.txt"}));
         }},
        {"DataConnectionClosedEarlyFailsTheDownload",
         [](Ctx &c) {
             writeFileBytes(c.qpath("f.txt"), "old content");
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Opening (1000 bytes)\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     s.sendDataAndClose(d, QByteArray(400, 'h'), [&s] {
                         s.reply("426 Connection closed; transfer aborted.\r\n");
                     });
                 });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "426 Connection closed; transfer aborted.\r\n",
         [](Ctx &c) {
             EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("old content"));
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"f.txt"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"FewerBytesThanAnnouncedFailTheDownloadDespiteA226",
         [](Ctx &c) {
             writeFileBytes(c.qpath("f.txt"), "old content");
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Opening BINARY mode data connection for f.txt (1000 bytes)\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     s.sendDataAndClose(d, QByteArray(400, 'h'), [&s] { s.reply("226 Transfer complete\r\n"); });
                 });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "Transfer incomplete: received 400 of 1000 bytes",
         [](Ctx &c) {
             EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("old content"));
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"f.txt"}));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"Reply426DuringADownloadEndsItAndKeepsTheOldFile",
         [](Ctx &c) {
             writeFileBytes(c.qpath("f.txt"), "old content");
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Opening\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     d->write(QByteArray(300, 'p')); // the data connection stays open
                     s.reply("426 Transfer aborted\r\n");
                 });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "426 Transfer aborted\r\n",
         [](Ctx &c) {
             EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("old content"));
             EXPECT_EQ(folderEntries(c.dir), (Verbs{"f.txt"}));
         }},
        {"Reply426DuringAnUploadFailsIt",
         [](Ctx &c) {
             c.server.handlers["STOR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Send it\r\n");
                 s.openData([&s](QTcpSocket *) { s.reply("426 Transfer aborted\r\n"); });
             };
         },
         [](Ctx &c) {
             writeFileBytes(c.qpath("up.bin"), patternBytes(300000));
             login(c);
             c.ftp.Upload(c.path("up.bin"), "up.bin");
         },
         "FTPException", "426 Transfer aborted\r\n"},
        {"ALineWithoutACodeAfterTheDataIsNoConfirmation",
         [](Ctx &c) {
             c.server.handlers["STOR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Ok to send data\r\n");
                 s.openData([&s](QTcpSocket *) { s.reply("!230 DATA\r\n452 Disk full\r\n"); });
             };
         },
         [](Ctx &c) {
             writeFileBytes(c.qpath("up.bin"), "upload");
             login(c);
             c.ftp.Upload(c.path("up.bin"), "up.bin");
         },
         "FTPException", "Protocol error: the server did not confirm the transfer: !230 DATA"},
        {"OnlyACompletionReplyConfirmsADownload",
         [](Ctx &c) {
             writeFileBytes(c.qpath("f.txt"), "old");
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("125 Data connection already open\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     s.sendDataAndClose(d, "new", [&s] { s.reply("150 Opening\r\n676 Done\r\n"); });
                 });
             };
         },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "Protocol error: the server did not confirm the transfer: 676 Done",
         [](Ctx &c) { EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("old")); }},
        {"AnswerWithoutACodeToRetrIsNoLeaveToGoOn",
         [](Ctx &c) { c.server.handlers["RETR"] = answer("!D=TA\r\n226 Done\r\n"); },
         [](Ctx &c) {
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "Protocol error: the server's reply to the transfer has no code: !D=TA",
         [](Ctx &c) {
             EXPECT_FALSE(QFile::exists(c.qpath("f.txt")));
             EXPECT_TRUE(c.ftp.Connected());
         }},
        {"RefusalAfterTheDataFailsTheDownloadAndKeepsTheOldFile",
         [](Ctx &c) {
             c.server.handlers["RETR"] = [](ScriptSession &s, const std::string &) {
                 s.reply("150 Opening\r\n");
                 s.openData([&s](QTcpSocket *d) {
                     s.sendDataAndClose(d, "data", [&s] { s.reply("451 Local error\r\n"); });
                 });
             };
         },
         [](Ctx &c) {
             writeFileBytes(c.qpath("f.txt"), QByteArray("old"));
             login(c);
             c.ftp.Download("f.txt", c.path("f.txt"));
         },
         "FTPException", "451 Local error\r\n",
         [](Ctx &c) { EXPECT_EQ(readFileBytes(c.qpath("f.txt")), QByteArray("old")); }},
    };
}

class ScriptedFtp : public ::testing::TestWithParam<Scenario> {};

TEST_P(ScriptedFtp, EndsAsDefined)
{
    const Scenario &sc = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptServer server;
    int liveBefore = FtpSocket::LiveCount();
    {
        auto client = std::make_unique<FtpClient>();
        FtpClient &ftp = *client;
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.UserID = "user";
        ftp.Password = "pw";
        ftp.NoDataTimeOut = sc.noDataMs;
        ftp.ReportLevel = 1;
        // These scenarios script active mode (PORT) reply by reply; passive
        // mode has its own tests.
        ftp.Passive = false;
        Ctx c(ftp, server, dir.path());

        ftp.OnStatus = [&c](const std::string &s) { c.statuses.push_back(s); };
        ftp.OnFailure = [&c](bool &handled, FtpCommandKind t) {
            c.events.push_back("Failure(" + std::to_string(t) + ")");
            handled = c.handleFailures;
        };
        ftp.OnListItem = [&c](const std::string &name) { c.items.push_back(name); };
        // The first progress report gives the size announced for the transfer.
        ftp.OnProgress = [&c](qint64, qint64 total) {
            if (c.announced < 0)
                c.announced = total;
        };

        if (sc.script)
            sc.script(c);

        // Nothing may hang: a watchdog cancels the client.
        bool hung = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            hung = true;
            ftp.Cancel();
        });
        watchdog.start(15000);

        QElapsedTimer clock;
        clock.start();
        Outcome o = outcomeOf([&] { sc.run(c); });
        watchdog.stop();
        EXPECT_FALSE(hung) << "the scenario hung";
        EXPECT_EQ(o.kind, sc.kind) << o.message;
        if (!sc.message.empty() || sc.kind.empty()) {
            EXPECT_EQ(o.message, sc.message);
        }
        if (sc.check)
            sc.check(c);
        EXPECT_EQ(FtpSocket::LiveCount(), liveBefore + 1) << "a data connection was not freed";
        if (sc.noDataMs <= 1000 && sc.message == kMsgNoAnswer) {
            EXPECT_GE(clock.elapsed(), sc.noDataMs - 5);
            EXPECT_LT(clock.elapsed(), 5000);
        }
        client.reset(); // says QUIT when still connected, while its handlers' context lives
    }
    EXPECT_EQ(FtpSocket::LiveCount(), liveBefore);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScriptedFtp, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) {
                             return std::string(info.param.name);
                         });

// Messages that name a path are checked here, where the path is known.
TEST(ScriptedFtpFiles, LocalFileFailuresNameThePath)
{
    QTemporaryDir dir;
    ScriptServer server;
    FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = "user";
    ftp.Password = "pw";
    ftp.Connect();
    std::string missing = (dir.path() + "/missing.bin").toStdString();
    Outcome up = outcomeOf([&] { ftp.Upload(missing, "r"); });
    EXPECT_EQ(up.message, "Cannot open file " + missing);
    std::string nowhere = (dir.path() + "/no/such/f").toStdString();
    Outcome down = outcomeOf([&] { ftp.Download("f", nowhere); });
    EXPECT_EQ(down.message, "Cannot create file " + nowhere);
    // The connection is still good for the next command.
    EXPECT_EQ(outcomeOf([&] { ftp.ChangeDir("x"); }).kind, "");
}

} // namespace
