#pragma once
// The FTP tab: sending the generated site and the saved posts to the
// project's server, listing the server's post files and fetching them into
// the data folder, with progress, Cancel, the password and the questions a
// connection asks (certificates, host keys).
//
// Each transfer opens its own session with the settings as they are when it
// starts and closes it at its end (the publisher does that).
#include "publish/publisher.h"
#include "publish/sendqueue.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QAction;
class QCheckBox;
class QLineEdit;
class QLabel;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;

namespace tl {

class OpenProject;
class SendQueueModel;
class WindowShell;
struct CertificateInfo;
struct HostKeyInfo;

class PublishingController : public QObject {
    Q_OBJECT
public:
    // Fills the password row (among the FTP setup fields) and the FTP tab's
    // panel of lists and buttons; its command is an action of `window`.
    PublishingController(WindowShell &shell, OpenProject &project, QWidget *passwordRow,
        QWidget *panel, QWidget *window);
    // "Read data from FTP", on the toolbar and in the Blog menu.
    QAction *readServerPostsAction() const { return readServerPostsAction_; }

    // ---- commands ----
    void send();
    // Sends every page of the main and archive folders.
    void sendWholeSite();
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
    // it is first needed (the FTP tab shown, a send, Remove from list, Send
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

    bool busy() const { return publisher_.busy(); }
    // The publisher the transfers run through (tests shorten its time-out).
    Publisher &publisher() { return publisher_; }

signals:
    // A transfer waits for the network: commands that would disturb it are
    // held off until it ends.
    void transferRunning(bool running);

private:
    void buildPasswordRow(QWidget *place);
    void buildPanel(QWidget *place);
    void connectPublisher();
    void updateSendEnabled();
    void configure(const ProjectSettings &settings);
    // The queue judges its files by the project's folders as they are now,
    // worked out first if it is not yet.
    void prepareQueue();
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showQueue();
    // Runs a transfer with the other commands held off. A cancelled transfer
    // ends quietly and says so in the status bar.
    void runTransfer(
        const std::function<Publisher::Outcome()> &work, const std::function<void()> &undo = {});
    void holdCommands(bool held);
    void showProgress(qint64 done, qint64 total);
    bool askHostKey(const HostKeyInfo &key);
    bool askCertificate(const CertificateInfo &info);

    WindowShell &shell_;
    OpenProject &project_;
    Publisher publisher_;
    SendQueue queue_;
    bool queueLoaded_ = true; // false: the open project's queue is not worked out yet
    SendQueueModel *queueModel_ = nullptr;
    bool failureShown_ = false; // a refused command's text is in the status bar

    QAction *readServerPostsAction_ = nullptr;
    QLineEdit *passwordEdit_ = nullptr;
    QToolButton *showPasswordButton_ = nullptr;
    QLabel *queueCountLabel_ = nullptr;
    QListView *queueView_ = nullptr;
    QToolButton *removeButton_ = nullptr;
    QCheckBox *allPostsBox_ = nullptr;
    QPushButton *sendButton_ = nullptr;
    QPushButton *wholeSiteButton_ = nullptr;
    QProgressBar *progressBar_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
    QListWidget *serverPostsList_ = nullptr;
    QPushButton *saveFetchedPostsButton_ = nullptr;

    // Enabled states before a transfer held the commands off.
    struct Held {
        bool send = false, saveLocal = false, allPosts = false, remove = false, readServer = false;
    } held_;
    bool sendWanted_ = false; // the send buttons' state once no transfer runs
};

} // namespace tl
