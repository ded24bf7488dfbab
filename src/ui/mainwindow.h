#pragma once
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tl {

class ComboBox;
class PathEdit;
class PostEditor;
struct ProjectSettings;
struct HostKeyInfo;
struct CertificateInfo;
struct PostFolder;
class Prompts;
class RadioGroup;
class FormStorage;
class FtpClient;

// The main window. It owns every other object for the whole run: the project
// fields (its edit controls), the post tree and its lists, the editor, the
// log pane, the status bar, the form storages and the FTP client.
//
// Its commands are defined in the subsystem that owns them: the post store
// and editing in ui/posts, generation in ui/generator, publishing in
// ui/publish, tag shortcuts in ui/tags, projects and texts here in ui/.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The prompts every message box and question goes through. The window
    // owns them; tests install scripted ones before showing the window.
    Prompts &prompts() { return *prompts_; }
    void setPrompts(std::unique_ptr<Prompts> p);

    // Runs a command through the command runner (failures shown, never thrown).
    bool run(const std::function<void()> &command);

    // Appends a line to the log pane.
    void log(const QString &line);
    // The status bar's passing notes (transfer progress and failures).
    void setStatusText(const QString &text);
    QString statusText() const;
    // The post count Read leaves in the status bar ("Count of notes: 3"). It
    // has a place of its own there, so a menu's hint never hides it.
    void setPostCountText(const QString &text);
    QString postCountText() const;

    // ---- window state shared by the subsystems ----
    QString currentProjectName;      // empty while no project is open
    int pendingProjectIndex = -1;    // -1 when no index is pending
    bool postOpen = false;           // a post is open for editing
    bool exitAnswered_ = false;      // Exit asked about the open post already

    // "Project was not selected." check shared by every command that needs a
    // project. Returns false (after telling the user) when none is open.
    bool checkProjectSelected();

    // ---- controls (object names are the keys of settings and project files) ----
    QToolBar *ToolBar1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *tabBLOG = nullptr, *tabOPTIONS = nullptr, *tabCONTENT = nullptr, *tabFTP = nullptr;
    QMenu *menuBlog = nullptr, *menuTags = nullptr, *menuHelp = nullptr;
    QAction *mnuSETUPTAGS = nullptr, *mnuMORE = nullptr, *mnuABOUT = nullptr;

    // Blog tab
    QWidget *pnlLEVY = nullptr;
    QSplitter *Splitter1 = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QLineEdit *edtFIND = nullptr; // above the tree: shows only the posts that hold its text
    QDateEdit *DateEdit1 = nullptr;
    QLineEdit *timeedit1 = nullptr;
    QLineEdit *edtNADPIS = nullptr;
    QToolButton *btnCLOSEPOST = nullptr;
    QLabel *lblCATEGORY = nullptr;
    QWidget *cmbCATEGORY = nullptr;
    PostEditor *memoOBSAH = nullptr;

    // Options tab
    QListWidget *lstPROJEKTY = nullptr;
    QPushButton *Button2 = nullptr;
    ComboBox *cmbDEFPROJ = nullptr;
    PathEdit *pathMAIN = nullptr, *pathCONF = nullptr, *pathDATA = nullptr;
    QLineEdit *edtMAINURI = nullptr, *edtCOUNT = nullptr;
    PathEdit *fileTEMPLATE = nullptr, *archiveTEMPLATE = nullptr;
    QLineEdit *dirPATHARCHIVES = nullptr, *edtMAINHTML = nullptr;
    PathEdit *edtRSSTEMPLATE = nullptr;
    QLineEdit *edtRSSFILE = nullptr;
    PathEdit *edtTXTTEMPLATE = nullptr;
    QLineEdit *edtTXTFILE = nullptr;
    QPushButton *btnSAVETVP = nullptr;

    // Content tab
    QGroupBox *gbCONTENT = nullptr;
    QLineEdit *edtAUTHOR = nullptr, *edtEMAIL = nullptr, *edtLONGPOSTSEPARATOR = nullptr;
    QLineEdit *edtSITETITLE = nullptr; // the site's name: pages' headings, the feed's title
    RadioGroup *rgPARAGRAPH = nullptr, *rgCHARSET = nullptr;
    QPushButton *Button1 = nullptr;

    // FTP tab
    QLineEdit *edtFTPADDRESS = nullptr, *edtUSER = nullptr, *edtPASSWORD = nullptr;
    QToolButton *RxSpeedButton1 = nullptr;
    QLineEdit *edtFIREWALL = nullptr, *edtPORT = nullptr;
    QCheckBox *chkPROXY = nullptr;
    QCheckBox *chkPASSIVE = nullptr; // "Passive mode"
    QCheckBox *chkFTPS = nullptr;    // "Use TLS (FTPS)"
    QCheckBox *chkSFTP = nullptr;    // "Use SFTP (SSH)"
    // Hidden: the SHA-256 fingerprint of a server certificate the writer
    // accepted although no trusted authority vouches for it.
    QLineEdit *edtFINGERPRINT = nullptr;
    QLineEdit *rPATHMAIN = nullptr, *rDATAPATH = nullptr, *edtNOTE = nullptr;
    QListWidget *lstFILESFTP = nullptr;
    QToolButton *RxSpeedButton3 = nullptr;
    QCheckBox *chkALLFILES = nullptr;
    QPushButton *btnSENDFTP = nullptr;
    QPushButton *btnWHOLESITE = nullptr; // "Send whole site"
    QListWidget *lstFROMFTP = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QListWidget *lstDATAFTP = nullptr; // hidden: saved posts waiting for upload

    // Log pane and status bar
    QPlainTextEdit *Memo2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *lblPOSTCOUNT = nullptr; // permanent part of the status bar

    // ---- commands ----
    QAction *actREAD = nullptr, *actREADFROMFTP = nullptr, *actNEW = nullptr,
            *actEDIT = nullptr, *actSAVE = nullptr, *actDEL = nullptr,
            *actGENERATE = nullptr, *actEXIT = nullptr, *actCLOSEPOST = nullptr,
            *actFIND = nullptr;

    // ---- form storages ----
    FormStorage *formstorPROJEKT = nullptr;
    FormStorage *formstorMAIN = nullptr;

    // The project fields as the controls hold them now.
    ProjectSettings projectFromFields();
    // Fields a project file written before they existed does not hold take
    // their start values when such a file is loaded.
    void resetFieldsMissingFromOldProjects();

    // ---- project settings path ----
    std::string settingsFile() const; // settings folder + "tarvlit.ini"

    // ---- start-up and shell (ui) ----
    void actEXITExecute();

    // ---- projects, interface texts, About (ui) ----
    void LoadInterfaceTexts(const QString &bareName);
    void ListProjectFiles();
    void lstPROJEKTYClick();
    void ChooseProject();
    void SaveProject();
    void Button2Click();
    void ShowAbout();

    // ---- post store and editing (ui/posts) ----
    void actREADExecute();
    // Shows what Read built: the count in the status bar, the lists and the
    // tree; Generate and Edit follow unless a name stopped the walk.
    void showPostFolder(const PostFolder &folder);
    void TreeView1Click();
    void actNEWExecute();
    void actEDITExecute();
    void actSAVEExecute();
    void actCLOSEPOSTExecute();
    void actDELExecute();
    void MoreClick();
    void showPostContent(const QString &postName);
    void TreeView1KeyUp(int key);
    void TreeView1DblClick();
    // Shows in the tree only the posts whose title or text holds the find
    // box's text (letter case and accents aside); an empty box shows all.
    void edtFINDChange();
    // True when the open post's title, date, time or text differs from what
    // it was opened with.
    bool openPostChanged() const;

    // ---- generation (ui/generator) ----
    void actGENERATEExecute();

    // ---- publishing (ui/publish) ----
    void btnSENDFTPClick();
    void actREADFROMFTPExecute();
    void Button3Click();
    void edtPASSWORDChange();
    void RxSpeedButton1Click();
    void RxSpeedButton3Click();
    void chkALLFILESClick();
    void btnCANCELFTPClick();
    void btnWHOLESITEClick();
    // The send queue of the chosen project, from its record of what was sent.
    void loadSendQueue();
    // After Generate: the generated files the server lacks are queued.
    void queueGeneratedSite(const QStringList &generated);
    // After Save: the saved post is queued (once).
    void queueSavedPost(const QString &path);
    void FTP1Error(unsigned Errno, const QString &Errmsg);
    void FTP1ListItem(const std::string &Listing);
    // An SFTP server's host key not seen before: asks once; Yes trusts it.
    bool askHostKey(const HostKeyInfo &key);
    // An FTPS certificate no trusted authority vouches for: asks, with a
    // warning when another one was accepted before; Yes accepts it.
    bool askCertificate(const CertificateInfo &info);
    void rememberCertificate(const std::string &fingerprint);
    // Beside the lists: stops the running transfer, and follows its bytes.
    QPushButton *btnCANCELFTP = nullptr;
    QProgressBar *pbFTP = nullptr;

    // ---- tag shortcuts (ui/tags) ----
    void BuildTagsMenu();
    void WrapSelection(int index);
    void ShowTagsDialog();
    // Replaces the tag entries of the Tags menu (everything after "&Setup...",
    // the separator and "More") with one entry per tag, in list order.
    void SetTagEntries(const QStringList &descriptions, const QStringList &hotkeyTexts);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildActions();
    void buildMenus();
    void buildBlogTab();
    void buildOptionsTab();
    void buildContentTab();
    void buildFtpTab();
    void startUp();
    void firstShow();
    void onBrowse(PathEdit *field);

    // Form storages: binding at start-up, restore on first show, save on close.
    void setupStorages();
    void restoreStoragesOnShow();
    void saveStoragesOnClose();
    void saveStoragesOnDestroy();

    // Each subsystem connects its own signals here.
    void setupPosts();
    void setupProjects();
    void setupGenerator();
    void setupPublish();
    void setupTags();

    std::unique_ptr<Prompts> prompts_;
    bool shownOnce_ = false;

public:
    // Members the subsystems keep; each subsystem owns its block.
    struct PostsState;
    std::unique_ptr<PostsState> posts;
    struct PublishState;
    std::unique_ptr<PublishState> publish;
};

} // namespace tl
