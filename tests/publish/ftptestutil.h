#pragma once
#include "publish/ftpclient.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tl::test {

// How an operation ended: kind "" for success, else the exception's class
// ("EAbortError", "ESockError", "FTPException", "AppError") and message.
struct Outcome {
    std::string kind;
    std::string message;
};

inline Outcome outcomeOf(const std::function<void()> &work)
{
    try {
        work();
        return {};
    } catch (const EAbortError &e) {
        return {"EAbortError", e.what()};
    } catch (const ESockError &e) {
        return {"ESockError", e.what()};
    } catch (const FTPException &e) {
        return {"FTPException", e.what()};
    } catch (const AppError &e) {
        return {"AppError", e.what()};
    }
}

// Deterministic bytes of every value 0..255, line ends and zero bytes included.
inline QByteArray patternBytes(qsizetype size, unsigned seed = 1)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

// Runs the event loop until `done` holds or `ms` have passed; returns done().
bool spinUntil(const std::function<bool()> &done, int ms = 3000);

QByteArray readFileBytes(const QString &path);
void writeFileBytes(const QString &path, const QByteArray &bytes);
// Names of the entries of a folder, sorted.
std::vector<std::string> folderEntries(const QString &dir);
// Lines of a text file.
std::vector<std::string> fileLines(const QString &path);

// pyftpdlib (tests/data/publish/ftpserver.py, python3-pyftpdlib) serving
// `root` to user "user" with password "pw" on a free loopback port, with the
// script's options; it ends with this object.
class PyFtpd {
public:
    ~PyFtpd();
    // False (with the reason in error()) when it does not start.
    bool start(const QString &root, const QStringList &options = {});
    quint16 port() const { return m_port; }
    const QString &error() const { return m_error; }

private:
    std::unique_ptr<QProcess> m_proc;
    quint16 m_port = 0;
    QString m_error;
};

// Runs a program to its end; false (and the reason in *error) when it fails.
bool runProgram(const QString &program, const QStringList &args, QString *error);

// A self-signed certificate for `name` and its key, written by openssl into
// `dir` as name.pem and name.key.
bool makeSelfSignedCertificate(const QString &dir, const QString &name, QString *error);
// A certificate authority (ca.pem) and a certificate for `name` signed by it
// (name.pem, name.key), in `dir`.
bool makeAuthorityAndCertificate(const QString &dir, const QString &name, QString *error);

} // namespace tl::test
