#pragma once
// The Publishing tab: sending the generated site and the saved posts to
// where the project publishes (an FTP, FTPS or SFTP server, a Git branch, an
// S3 bucket), removing what is no longer part of the site, checking the
// server against the site, listing the server's post files and fetching
// them into the data folder, with progress, Cancel, the password and the
// questions a connection asks (certificates, host keys).
//
// Each transfer opens its own session with the settings as they are when it
// starts and closes it at its end (the publisher does that).
#include "core/projectsettings.h"
#include "publish/publisher.h"
#include "publish/sendqueue.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;

namespace tl {

class OpenProject;
class PasswordField;
class SendQueueModel;
class WindowShell;

class PublishingController : public QObject {
    Q_OBJECT
public:
    // Fills the password row (among the setup fields) and the Publishing
    // tab's panel of lists and buttons; its command is an action of `window`.
    PublishingController(WindowShell &shell, OpenProject &project, QWidget *passwordRow,
        QWidget *panel, QWidget *window);
    // "Read data from FTP", on the toolbar and in the Blog menu.
    QAction *readServerPostsAction() const { return readServerPostsAction_; }

    // ---- commands ----
    void send();
    // Sends every page of the main and archive folders.
    void sendWholeSite();
    // Compares every remote folder with the site (names and sizes), reports
    // what differs and queues it.
    void checkServer();
    // Lists the server's data folder.
    void readServerPosts();
    // Fetches the listed files into the data folder.
    void saveFetchedPosts();
    void cancel();
    void removeSelectedFromQueue();
    void setAllPostsQueued(bool all);
    void togglePasswordShown();

    // ---- what waits to be sent ----
    // The open project changed: its queue comes from its send record when
    // it is first needed (the Publishing tab shown, a send, Remove from list, Send
    // all data files). Working it out looks at every post file, which a
    // window opening on a large blog need not wait for.
    void projectOpened();
    // After Generate: the generated files the server lacks are queued.
    void siteGenerated(const QStringList &generated);
    // Files put into the site outside generation (a picture's copies):
    // queued while the server lacks them, remembered by the send record.
    void siteFilesAdded(const QStringList &files);
    void postSaved(const QString &path);
    void postDeleted(const QString &path);
    // What waits to be sent now.
    const SendQueue &queue();

    // A transfer runs, or is being prepared.
    bool busy() const { return publisher_.busy() || preparing_; }
    // The publisher the transfers run through (tests shorten its time-out).
    Publisher &publisher() { return publisher_; }

signals:
    // A transfer waits for the network: commands that would disturb it are
    // held off until it ends.
    void transferRunning(bool running);

private:
    void buildPanel(QWidget *place);
    void connectPublisher();
    void updateSendEnabled();
    // Sets up the publisher for a transfer to where `settings` publish, with
    // the password (from the keyring when it is to be remembered and the
    // field is empty). Returns that password.
    QString configure(const ProjectSettings &settings);
    // Whether a send removes what is no longer part of the site: many
    // removals wait for the writer's yes.
    bool removalsConfirmed();
    // The queue judges its files by the project's folders as they are now,
    // worked out first if it is not yet.
    void prepareQueue();
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showQueue();
    // Runs a transfer with the other commands held off. A cancelled transfer
    // ends quietly and says so in the status bar. A transfer that logged in
    // hands its password to the password row, to be remembered.
    Publisher::Outcome runTransfer(
        const std::function<Publisher::Outcome()> &work, const std::function<void()> &undo = {});
    void passwordAccepted(bool completed);
    void holdCommands(bool held);
    void showProgress(qint64 done, qint64 total);

    WindowShell &shell_;
    OpenProject &project_;
    Publisher publisher_;
    SendQueue queue_;
    bool queueLoaded_ = true; // false: the open project's queue is not worked out yet
    SendQueueModel *queueModel_ = nullptr;
    // What the next send removes, as last worked out (not while a send runs:
    // it does not change then, and each sent file changes the queue).
    std::vector<std::string> removals_;
    bool removalsStale_ = false; // the queue changed while the list was out of sight
    bool failureShown_ = false; // a refused command's text is in the status bar
    // The running transfer: where it goes, with which password, and whether
    // its session logged in.
    ServerSettings transferServer_;
    QString transferPassword_;
    bool loggedIn_ = false;
    bool preparing_ = false; // the password is being read for a transfer

    QAction *readServerPostsAction_ = nullptr;
    PasswordField *password_ = nullptr;
    QLabel *queueCountLabel_ = nullptr;
    QListView *queueView_ = nullptr;
    QToolButton *removeButton_ = nullptr;
    QCheckBox *allPostsBox_ = nullptr;
    QPushButton *sendButton_ = nullptr;
    QPushButton *wholeSiteButton_ = nullptr;
    QPushButton *checkButton_ = nullptr;
    QProgressBar *progressBar_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
    QGroupBox *fromServerGroup_ = nullptr;
    QListWidget *serverPostsList_ = nullptr;
    QPushButton *saveFetchedPostsButton_ = nullptr;

    // Enabled states before a transfer held the commands off.
    struct Held {
        bool send = false, saveLocal = false, allPosts = false, remove = false, readServer = false;
    } held_;
    bool sendWanted_ = false; // the send buttons' state once no transfer runs
};

} // namespace tl
