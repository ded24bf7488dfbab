// The FTP client's reply reader. Input: the bytes a server sends on the
// control connection, all at once; the client then runs one transaction per
// reply the bytes hold. Properties, against a plain statement of the rules:
//  - a reply is its first line through the line feed plus, while the last
//    line read begins with a space or has "-" as its fourth byte, the next
//    line; the transaction returns the first line, reports every line, and
//    leaves the following bytes unread, byte for byte;
//  - the reply code is the first line's leading digits (at most 10; a value
//    beyond the 32-bit range counts as 0; one above 32767 is refused with
//    "Range check error" before the rest of the reply is read);
//  - bytes that begin with "421" or "426" end the wait with "Socket readln
//    aborted";
//  - the size rule reads the digits nearest before the first "BYTE" (any
//    case), 0 when there are none or they exceed the 32-bit range;
//  - the client's sockets are all gone when it is.
#include "fuzzsupport.h"
#include "publish/ftpclient.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <climits>
#include <memory>

using tl::fuzz::shown;

namespace {

bool continues(const std::string &line)
{
    return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

int expectedSize(const std::string &line)
{
    std::string up = line;
    for (char &c : up)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::size_t at = up.find("BYTE");
    if (at == std::string::npos)
        return 0;
    const std::size_t lastDigit = up.find_last_of("0123456789", at == 0 ? std::string::npos : at - 1);
    if (at == 0 || lastDigit == std::string::npos)
        return 0;
    std::size_t firstDigit = lastDigit;
    while (firstDigit > 0 && std::isdigit(static_cast<unsigned char>(up[firstDigit - 1])))
        --firstDigit;
    long long v = 0;
    for (std::size_t i = firstDigit; i <= lastDigit; ++i) {
        v = v * 10 + (up[i] - '0');
        if (v > INT_MAX)
            return 0;
    }
    return static_cast<int>(v);
}

// The server: sends the current input on every new connection.
struct Server {
    QTcpServer listener;
    QByteArray toSend;
    std::vector<std::unique_ptr<QTcpSocket>> sessions;
    Server()
    {
        listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&listener, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = listener.nextPendingConnection()) {
                s->setParent(nullptr);
                s->write(toSend);
                QObject::connect(s, &QTcpSocket::readyRead, [s] { s->readAll(); });
                sessions.emplace_back(s);
            }
        });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tl::fuzz::ensureCoreApplication();
    static Server *server = new Server;
    const std::string input(reinterpret_cast<const char *>(data), size);
    server->toSend = QByteArray(input.data(), static_cast<qsizetype>(size));
    {
        tl::FtpClient client;
        // The control connection alone, without a login: every reply is read below.
        tl::FtpSocket &control = client.control();
        control.Host = "127.0.0.1";
        control.Port = server->listener.serverPort();
        control.NoDataTimeOut = 3000;
        control.ReportLevel = 1;
        client.ReportLevel = 1;
        std::vector<std::string> reported;
        client.OnStatus = [&](const std::string &s) { reported.push_back(s); };
        control.Connect();
        // Everything is buffered before the first transaction, so no reply waits.
        FUZZ_CHECK(tl::fuzz::spinUntil([&] { return control.TotalBytesRecvd() == qint64(size); }, 5000),
                   "input did not arrive");
        const bool aborts = size >= 4 && (input.compare(0, 3, "421") == 0 || input.compare(0, 3, "426") == 0);

        std::size_t pos = 0;
        for (int round = 0;; ++round) {
            // The next reply by the rule, if the rest of the input holds a whole one.
            std::vector<std::string> lines;
            std::size_t at = pos;
            bool whole = false;
            for (;;) {
                const std::size_t lf = input.find('\n', at);
                if (lf == std::string::npos)
                    break;
                lines.push_back(input.substr(at, lf + 1 - at));
                at = lf + 1;
                if (!continues(lines.back())) {
                    whole = true;
                    break;
                }
            }
            if (lines.empty() || (!whole && !aborts))
                break; // the client would wait for more
            const std::string &first = lines[0];
            long long code = 0;
            std::size_t digits = 0;
            while (digits < first.size() && digits < 10 && std::isdigit(static_cast<unsigned char>(first[digits])))
                code = code * 10 + (first[digits++] - '0');
            if (code > INT_MAX)
                code = 0;
            const bool rangeError = code > 32767;

            reported.clear();
            std::string got;
            try {
                got = client.Transaction("NOOP");
            } catch (const tl::EAbortError &e) {
                FUZZ_CHECK(aborts && round == 0 && std::string(e.what()) == "Socket readln aborted",
                           std::string("aborted with ") + e.what() + " on " + shown(input));
                FUZZ_CHECK(control.UnreadCount() == qint64(size), "abort took bytes");
                break;
            } catch (const tl::AppError &e) {
                FUZZ_CHECK(!aborts && rangeError && std::string(e.what()) == "Range check error",
                           std::string("refused with ") + e.what() + " on " + shown(first));
                pos += first.size();
                continue;
            }
            FUZZ_CHECK(!aborts && !rangeError, "reply " + shown(first) + " accepted");
            FUZZ_CHECK(got == first && client.LastReply() == first && client.ReplyCode() == code,
                       "reply " + shown(first) + " read as " + shown(got) + " code "
                           + std::to_string(client.ReplyCode()));
            FUZZ_CHECK(reported == lines, "reply of " + std::to_string(lines.size()) + " lines reported as "
                                              + std::to_string(reported.size()) + " in " + shown(input));
            FUZZ_CHECK(tl::FtpClient::SizeFromReply(first) == expectedSize(first),
                       "size of " + shown(first) + " read as " + std::to_string(tl::FtpClient::SizeFromReply(first)));
            pos = at;
            FUZZ_CHECK(control.PeekUnread(qsizetype(size)) == input.substr(pos),
                       "after a reply the unread bytes are " + shown(control.PeekUnread(qsizetype(size))));
        }
        client.OnStatus = nullptr;
        client.Drop(); // no QUIT: the server answers nothing more
    }
    FUZZ_CHECK(tl::FtpSocket::LiveCount() == 0, std::to_string(tl::FtpSocket::LiveCount()) + " sockets left");
    tl::fuzz::deleteLaterNow();
    server->sessions.clear();
    return 0;
}
