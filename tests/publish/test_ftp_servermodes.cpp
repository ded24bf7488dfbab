// The client against pyftpdlib set up as servers are met in the wild: one
// that refuses active mode, one without EPSV, one that requires FTPS, each
// storing in its default ASCII type and recording every command it receives.
// Also FTPS refusals and the certificate check.
#include "ftptestutil.h"
#include "pyftpserver.h"
#include "publish/ftpclient.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

using Lines = std::vector<std::string>;

std::string certificateFingerprint(const QString &pemFile)
{
    const auto certs = QSslCertificate::fromPath(pemFile);
    return certs.isEmpty() ? std::string() : FtpClient::Fingerprint(certs.front());
}

size_t indexOf(const Lines &lines, const std::string &prefix)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            return i;
    return lines.size();
}

size_t countOf(const Lines &lines, const std::string &prefix)
{
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
}

// One server in a temporary folder: root/ is served, the rest is the test's.
struct Server {
    QTemporaryDir dir;
    PyFtpServer ftpd;
    QString root() const { return dir.path() + "/root"; }
    QString record() const { return dir.path() + "/commands.txt"; }
    QString cert(const QString &name) const { return dir.path() + "/" + name + ".pem"; }

    // Starts it with the options, recording commands; `tlsName` non-empty:
    // FTPS with a self-signed certificate for that name.
    ::testing::AssertionResult start(QStringList options, const QString &tlsName = QString())
    {
        QDir().mkpath(root() + "/up");
        QString error;
        if (!tlsName.isEmpty()) {
            if (!makeSelfSignedCertificate(dir.path(), tlsName, &error))
                return ::testing::AssertionFailure() << error.toStdString();
            options << "--tls" << cert(tlsName) << dir.path() + "/" + tlsName + ".key";
        }
        if (!ftpd.start(root(), options << "--record" << record()))
            return ::testing::AssertionFailure()
                << "pyftpdlib did not start (python3-pyftpdlib, python3-openssl installed?) "
                << ftpd.error().toStdString();
        return ::testing::AssertionSuccess();
    }
    Lines commands() const { return fileLines(record()); }
};

void setUp(FtpClient &ftp, const Server &server)
{
    ftp.Host = "127.0.0.1";
    ftp.Port = server.ftpd.port();
    ftp.UserID = "user";
    ftp.Password = "pw";
    ftp.NoDataTimeOut = 10000;
}

struct Mode {
    const char *name;
    QStringList options;
    bool tls;
    bool withoutEpsv;
    bool passive = true;
};

class ServerModes : public ::testing::TestWithParam<Mode> {};

TEST_P(ServerModes, EveryFileArrivesAndComesBackByteForByte)
{
    const Mode &mode = GetParam();
    Server server;
    ASSERT_TRUE(server.start(QStringList{"--ascii"} + mode.options, mode.tls ? "localhost" : ""));
    QTemporaryDir local;
    const std::vector<std::pair<std::string, QByteArray>> files = {
        {"crlf.txt", "Title\r\n<p>Body</p>\r\n"},
        {"lone-cr.txt", "a\rb\r\rc\r"},
        {"lf.txt", "a\nb\n\n"},
        {"binary.bin", patternBytes(300000, 4)},
        {"empty.txt", ""},
    };

    FtpClient ftp;
    setUp(ftp, server);
    ftp.UseTls = mode.tls;
    ftp.Passive = mode.passive;
    // The self-signed certificate, remembered earlier by its fingerprint.
    if (mode.tls)
        ftp.TrustedFingerprint = certificateFingerprint(server.cert("localhost"));
    ftp.Connect();
    for (const auto &[name, bytes] : files) {
        const QString path = local.path() + "/" + QString::fromStdString(name);
        writeFileBytes(path, bytes);
        ftp.UploadWhole(path.toStdString(), "up/" + name);
        EXPECT_EQ(readFileBytes(server.root() + "/up/" + QString::fromStdString(name)), bytes) << name;
    }
    std::vector<std::string> listed;
    ftp.OnListItem = [&](const std::string &n) { listed.push_back(n); };
    ftp.ChangeDir("up");
    ftp.NList();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (Lines{"binary.bin", "crlf.txt", "empty.txt", "lf.txt", "lone-cr.txt"}));
    for (const auto &[name, bytes] : files) {
        const QString back = local.path() + "/back-" + QString::fromStdString(name);
        ftp.Download(name, back.toStdString());
        EXPECT_EQ(readFileBytes(back), bytes) << name;
    }
    ftp.Disconnect();

    const Lines commands = server.commands();
    const size_t transfers = 2 * files.size() + 1; // and the listing
    EXPECT_LT(indexOf(commands, "TYPE I"), indexOf(commands, "STOR"));
    EXPECT_EQ(countOf(commands, "TYPE"), 1u);
    if (!mode.passive) {
        EXPECT_EQ(countOf(commands, "PORT"), transfers);
        EXPECT_EQ(countOf(commands, "EPSV") + countOf(commands, "PASV"), 0u);
    } else if (mode.withoutEpsv) {
        EXPECT_EQ(countOf(commands, "EPSV"), 1u); // refused once, not asked again
        EXPECT_EQ(countOf(commands, "PASV"), transfers);
    } else {
        EXPECT_EQ(countOf(commands, "EPSV"), transfers);
    }
    if (mode.passive) {
        EXPECT_EQ(countOf(commands, "PORT") + countOf(commands, "EPRT"), 0u);
    }
    if (mode.tls) {
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), "AUTH TLS");
        EXPECT_LT(indexOf(commands, "PROT P"), indexOf(commands, "TYPE I"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pyftpdlib, ServerModes,
    ::testing::Values(Mode{"PassiveOnly", {"--passive-only"}, false, false},
                      Mode{"WithoutEpsv", {"--no-epsv"}, false, true},
                      Mode{"Ftps", {"--passive-only"}, true, false},
                      Mode{"FtpsActiveMode", {}, true, false, false}),
    [](const ::testing::TestParamInfo<Mode> &info) { return std::string(info.param.name); });

TEST(Ftps, ServerThatRefusesTlsFailsBeforeTheLogin)
{
    Server server;
    ASSERT_TRUE(server.start({}));
    FtpClient ftp;
    setUp(ftp, server);
    ftp.UseTls = true;
    Outcome o = outcomeOf([&] { ftp.Connect(); });
    EXPECT_EQ(o.kind, "FTPException");
    EXPECT_EQ(o.message.rfind(std::string(kMsgTlsRefused) + ": 5", 0), 0u) << o.message;
    EXPECT_FALSE(ftp.Connected());
    // Nothing went in clear text: neither the user nor the password.
    const Lines commands = server.commands();
    EXPECT_EQ(indexOf(commands, "USER"), commands.size());
    EXPECT_EQ(indexOf(commands, "PASS"), commands.size());
}

TEST(Ftps, UntrustedCertificateIsAskedAboutOnceAndRememberedByFingerprint)
{
    Server first;
    ASSERT_TRUE(first.start({}, "ftp-one"));
    const std::string firstPrint = certificateFingerprint(first.cert("ftp-one"));
    ASSERT_FALSE(firstPrint.empty());

    FtpClient ftp;
    setUp(ftp, first);
    ftp.UseTls = true;

    // No one to ask (the command line): refused, before the login.
    Outcome o = outcomeOf([&] { ftp.Connect(); });
    EXPECT_EQ(o.kind, "ESockError");
    EXPECT_EQ(o.message.rfind(std::string(kMsgUntrustedCertificate) + ": ", 0), 0u) << o.message;
    // One reading of the record: the server may be writing its QUIT to it.
    const Lines beforeLogin = first.commands();
    EXPECT_EQ(indexOf(beforeLogin, "USER"), beforeLogin.size());

    std::vector<CertificateInfo> asked;
    bool answer = false;
    std::vector<std::string> accepted;
    ftp.OnUntrustedCertificate = [&](const CertificateInfo &info) {
        asked.push_back(info);
        return answer;
    };
    ftp.OnCertificateAccepted = [&](const std::string &print) { accepted.push_back(print); };
    EXPECT_EQ(outcomeOf([&] { ftp.Connect(); }).kind, "ESockError"); // refused by the writer
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Subject, "CN=ftp-one");
    EXPECT_EQ(asked[0].Issuer, "CN=ftp-one");
    EXPECT_EQ(asked[0].Fingerprint, firstPrint);
    EXPECT_FALSE(asked[0].Changed);
    EXPECT_FALSE(asked[0].Problems.empty());

    answer = true;
    ftp.Connect();
    EXPECT_EQ(accepted, Lines{firstPrint});
    EXPECT_EQ(ftp.TrustedFingerprint, firstPrint);
    ftp.Disconnect();
    ftp.Connect(); // remembered: not asked again
    ftp.Disconnect();
    EXPECT_EQ(asked.size(), 2u);

    // Remembered in another form (lower case, no colons), by another client.
    FtpClient later;
    setUp(later, first);
    later.UseTls = true;
    std::string plain;
    for (char c : firstPrint)
        if (c != ':')
            plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    later.TrustedFingerprint = plain;
    EXPECT_EQ(outcomeOf([&] { later.Connect(); }).kind, "");

    // The same address with another certificate: asked again, as a change.
    Server second;
    ASSERT_TRUE(second.start({}, "ftp-two"));
    ftp.Port = second.ftpd.port();
    answer = false;
    EXPECT_EQ(outcomeOf([&] { ftp.Connect(); }).kind, "ESockError");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_TRUE(asked[2].Changed);
    EXPECT_EQ(asked[2].Fingerprint, certificateFingerprint(second.cert("ftp-two")));
    EXPECT_EQ(ftp.TrustedFingerprint, firstPrint);
}

TEST(Ftps, CertificateOfATrustedAuthorityMustNameTheHost)
{
    Server server;
    QString error;
    ASSERT_TRUE(makeAuthorityAndCertificate(server.dir.path(), "localhost", &error))
        << error.toStdString();
    ASSERT_TRUE(server.start({"--tls", server.cert("localhost"),
                              server.dir.path() + "/localhost.key"}));
    // The test's authority joins the system's trusted certificates.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration withAuthority = saved;
    withAuthority.addCaCertificates(server.dir.path() + "/ca.pem");
    QSslConfiguration::setDefaultConfiguration(withAuthority);

    FtpClient ftp;
    setUp(ftp, server);
    ftp.UseTls = true;
    std::vector<CertificateInfo> asked;
    ftp.OnUntrustedCertificate = [&](const CertificateInfo &info) {
        asked.push_back(info);
        return false;
    };
    ftp.Host = "localhost";
    Outcome named = outcomeOf([&] {
        ftp.Connect();
        ftp.Disconnect();
    });
    ftp.Host = "127.0.0.1"; // the certificate names "localhost" only
    Outcome unnamed = outcomeOf([&] { ftp.Connect(); });
    QSslConfiguration::setDefaultConfiguration(saved);

    EXPECT_EQ(named.kind, "") << named.message;
    EXPECT_EQ(unnamed.kind, "ESockError");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Issuer, "CN=Test Authority");
}

} // namespace
