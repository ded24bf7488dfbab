#pragma once
#include "publish/ftpsocket.h"

#include <memory>

namespace tl {

// A command the server refused; the message is the server's reply line.
class FTPException : public AppError {
public:
    using AppError::AppError;
};

// Kind of an FTP command, as passed to OnFailure, OnSuccess and
// OnUnSupportedFunction. The ordinals are fixed.
enum FtpCommandKind : int {
    cmdChangeDir = 0,
    cmdMakeDir = 1,
    cmdDelete = 2,
    cmdRemoveDir = 3,
    cmdList = 4,
    cmdRename = 5,
    cmdUpRestore = 6,
    cmdDownRestore = 7,
    cmdDownload = 8,
    cmdUpload = 9,
    cmdAppend = 10,
    cmdReInit = 11,
    cmdAllocate = 12,
    cmdNList = 13,
    cmdDoCommand = 14,
    cmdCurrentDir = 15, // PWD sent through DoCommand
};

using FailureEvent = std::function<void(bool &Handled, FtpCommandKind Trans_Type)>;
using SuccessEvent = std::function<void(FtpCommandKind Trans_Type)>;
using UnsupportedEvent = std::function<void(FtpCommandKind Trans_Type)>;
using ListItemEvent = std::function<void(const std::string &Listing)>;

// Message of a command refused before sending because an argument holds a
// carriage return, a line feed or a zero byte.
extern const char *const kMsgBadCommandChar;

// The client side of FTP over one control connection (the socket of the base
// class), active mode with PORT only. Every operation returns when it is done
// and keeps the caller's events flowing while it waits.
//
// OnConnect is raised after a successful login (not when the socket connects).
// OnPacketSent and OnPacketRecvd are handed to the data connection of each
// transfer and raised per chunk with that connection as Sender; ByteCount()
// holds the size of the transfer.
class FtpClient : public FtpSocket {
public:
    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    // ---- properties (besides the inherited ones) ----
    std::string UserID;
    std::string Password;
    int Vendor = 2411;
    bool ParseList = false;

    // ---- events (besides the inherited ones) ----
    FailureEvent OnFailure;
    SuccessEvent OnSuccess;
    UnsupportedEvent OnUnSupportedFunction;
    ListItemEvent OnListItem;
    NotifyEvent OnTransactionStart;
    NotifyEvent OnTransactionStop;
    HandlerEvent OnAuthenticationNeeded;
    HandlerEvent OnAuthenticationFailed; // never raised by these operations
    HandlerEvent OnConnectionRequired;

    qint64 ByteCount() const { return m_byteCount; }

    // ---- operations ----
    void Connect() override;
    void Disconnect() override;
    void Cancel() override;
    // Sends a command and reads its whole reply; LastReply() is the first line.
    std::string Transaction(const std::string &command) override;
    void DoCommand(const std::string &command);
    void ChangeDir(const std::string &folder);
    void NList();
    void Upload(const std::string &localPath, const std::string &remoteName);
    void Download(const std::string &remoteName, const std::string &localPath);

    // Size announced in a reply ("... (1234 bytes)"), 0 when there is none.
    static int SizeFromReply(const std::string &line);
    // Kind of a command sent through DoCommand.
    static FtpCommandKind CommandKind(const std::string &command);

protected:
    void timeoutHook() override;
    void dataArrived() override;
    void socketConnected() override;
    void socketClosedByPeer() override;

private:
    class DataScope;
    void requireConnection();
    static void checkCommand(const std::string &command);
    void readRestOfReply(std::string line);
    bool openDataPort(const std::string *uploadPath);
    void acceptData();
    // The data phase of a transfer whose command the server took: accepts
    // the data connection, runs `move` on it unless Cancel or the time-out
    // came first, closes it (then runs `closed`) and reads the final reply.
    // Cut short by Cancel, the transfer fails through failAborted.
    void dataPhase(const std::function<void()> &move, const std::function<void()> &closed = {});
    void readFinalReply();
    void failure(FtpCommandKind kind);
    std::string drain();
    [[noreturn]] void failAborted();

    std::unique_ptr<FtpSocket> m_data;
    qint64 m_byteCount = 0;
};

} // namespace tl
