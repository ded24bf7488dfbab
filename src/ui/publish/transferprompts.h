#pragma once
// What the Publishing tab asks and tells around a transfer, worded for the
// writer: the questions a connection asks (an unknown SSH host key, a server
// certificate no authority vouches for), the question before a send removes
// many files from the server, and the reports of Check the server and Save
// to local.
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace tl {

class Prompts;
struct CertificateInfo;
struct FetchResult;
struct HostKeyInfo;

// True: trust the key and record it in ~/.ssh/known_hosts.
bool askHostKey(Prompts &prompts, const HostKeyInfo &key);
// True: accept the certificate (and remember it for the project).
bool askCertificate(Prompts &prompts, const CertificateInfo &info);
// Before a send removes more files than it may unasked: true removes them,
// false sends without removing anything.
bool askRemovals(Prompts &prompts, const std::vector<std::string> &remoteNames);

// Check the server found these files (as the queue list names them)
// missing or different on the server, and queued them: the message, which
// names the command that sends them ("Send to Git").
QString checkReport(const QStringList &differing, const QString &sendCommand);
// Save to local kept both copies of some posts or skipped some files: the
// message naming them ("" when neither happened).
QString fetchReport(const FetchResult &result, const QString &dataFolder);

} // namespace tl
