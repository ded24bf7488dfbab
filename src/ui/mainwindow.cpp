#include "ui/mainwindow.h"

#include "core/programfiles.h"
#include "ui/commandrunner.h"
#include "ui/posteditor.h"
#include "ui/prompts.h"
#include "ui/widgets.h"
#include "ui/posts/postdateedit.h"
#include "ui/posts/postsstate.h"
#include "ui/publish/publishstate.h"
#include "ui/tags/tagsmenu.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tl {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), prompts_(std::make_unique<QtPrompts>(this)),
      posts(std::make_unique<PostsState>()), publish(std::make_unique<PublishState>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvel Lite"));
    resize(580, 570);

    buildActions();
    buildMenus();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    buildBlogTab();
    buildOptionsTab();
    buildContentTab();
    buildFtpTab();

    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    Memo2->setFixedHeight(41);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    {
        QPalette pal = Memo2->palette();
        pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
        Memo2->setPalette(pal);
    }

    auto *central = new QWidget(this);
    auto *cl = new QVBoxLayout(central);
    cl->setContentsMargins(0, 0, 0, 0);
    cl->setSpacing(0);
    cl->addWidget(PageControl1, 1);
    cl->addWidget(Memo2);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    // The post count stays when a menu's hint passes over the status bar.
    lblPOSTCOUNT = new QLabel(StatusBar1);
    lblPOSTCOUNT->setObjectName(QStringLiteral("lblPOSTCOUNT"));
    StatusBar1->addPermanentWidget(lblPOSTCOUNT);

    setupPosts();
    setupProjects();
    setupGenerator();
    setupPublish();
    setupTags();

    startUp();
}

MainWindow::~MainWindow()
{
    // Storages that were not saved since their last restore save now, while
    // the controls still exist.
    saveStoragesOnDestroy();
}

void MainWindow::setPrompts(std::unique_ptr<Prompts> p) { prompts_ = std::move(p); }

bool MainWindow::run(const std::function<void()> &command) { return runCommand(*prompts_, command); }

void MainWindow::log(const QString &line)
{
    Memo2->appendPlainText(line);
    Memo2->verticalScrollBar()->setValue(Memo2->verticalScrollBar()->maximum());
}

void MainWindow::setStatusText(const QString &text) { StatusBar1->showMessage(text); }

QString MainWindow::statusText() const { return StatusBar1->currentMessage(); }

void MainWindow::setPostCountText(const QString &text) { lblPOSTCOUNT->setText(text); }

QString MainWindow::postCountText() const { return lblPOSTCOUNT->text(); }

std::string MainWindow::settingsFile() const { return SettingsFolder() + "tarvlit.ini"; }

bool MainWindow::checkProjectSelected()
{
    if (!currentProjectName.isEmpty())
        return true;
    // Both lines in the box: the window title of a message box is easily
    // overlooked, and some desktops do not show it at all.
    prompts_->message(QString(), QStringLiteral("Project was not selected.\n"
                                                "Please select project on tab OPTIONS."));
    return false;
}

// ---------------------------------------------------------------------------
// Commands, toolbar and menus

void MainWindow::buildActions()
{
    QStyle *st = style();
    auto make = [this](const char *name, const QString &caption, const QIcon &icon,
                       const QKeySequence &key) {
        auto *a = new QAction(icon, caption, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        a->setShortcutContext(Qt::ApplicationShortcut);
        return a;
    };
    actREAD = make("actREAD", tr("&Read"), st->standardIcon(QStyle::SP_BrowserReload),
                   QKeySequence(Qt::Key_F5));
    actREADFROMFTP = make("actREADFROMFTP", tr("Read data from FTP"),
                          st->standardIcon(QStyle::SP_ArrowDown), QKeySequence());
    actREADFROMFTP->setToolTip(tr("Read data files from FTP server"));
    actNEW = make("actNEW", tr("&New"), st->standardIcon(QStyle::SP_FileIcon),
                  QKeySequence(Qt::CTRL | Qt::Key_N));
    actEDIT = make("actEDIT", tr("&Edit"), st->standardIcon(QStyle::SP_FileDialogDetailedView),
                   QKeySequence(Qt::CTRL | Qt::Key_O));
    actSAVE = make("actSAVE", tr("&Save"), st->standardIcon(QStyle::SP_DialogSaveButton),
                   QKeySequence(Qt::CTRL | Qt::Key_S));
    actDEL = make("actDEL", QString(), st->standardIcon(QStyle::SP_TrashIcon), QKeySequence());
    actDEL->setToolTip(tr("Delete"));
    actGENERATE = make("actGENERATE", tr("&Generate"), st->standardIcon(QStyle::SP_MediaPlay),
                       QKeySequence(Qt::Key_F9));
    actEXIT = make("actEXIT", tr("&Exit"), st->standardIcon(QStyle::SP_DialogCloseButton),
                   QKeySequence());
    actCLOSEPOST = make("actCLOSEPOST", QString(), st->standardIcon(QStyle::SP_TitleBarCloseButton),
                        QKeySequence());
    actCLOSEPOST->setToolTip(tr("Close post without save"));
    // Not on the toolbar or in a menu: Ctrl+F goes to the find box above the
    // post tree.
    actFIND = make("actFIND", tr("Find"), QIcon(), QKeySequence(Qt::CTRL | Qt::Key_F));
    actFIND->setShortcutContext(Qt::WindowShortcut);
    addAction(actFIND);

    actEDIT->setEnabled(false);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->addAction(actREAD);
    ToolBar1->addAction(actREADFROMFTP);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actNEW);
    ToolBar1->addAction(actEDIT);
    ToolBar1->addAction(actSAVE);
    ToolBar1->addAction(actDEL);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actGENERATE);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actEXIT);
    addToolBar(ToolBar1);

    connect(actEXIT, &QAction::triggered, this, [this] { run([this] { actEXITExecute(); }); });
}

void MainWindow::buildMenus()
{
    menuBlog = menuBar()->addMenu(tr("&Blog"));
    menuBlog->setObjectName(QStringLiteral("Blog1"));
    menuBlog->addAction(actREAD);
    menuBlog->addAction(actREADFROMFTP);
    menuBlog->addAction(actGENERATE);
    menuBlog->addSeparator();
    menuBlog->addAction(actNEW);
    menuBlog->addAction(actEDIT);
    menuBlog->addAction(actSAVE);
    menuBlog->addSeparator();
    menuBlog->addAction(actEXIT);

    menuTags = new TagsMenu(tr("&Tags"), this);
    menuBar()->addMenu(menuTags);
    menuTags->setObjectName(QStringLiteral("Tags1"));
    mnuSETUPTAGS = menuTags->addAction(tr("&Setup..."));
    mnuSETUPTAGS->setObjectName(QStringLiteral("Setup1"));
    menuTags->addSeparator();
    mnuMORE = menuTags->addAction(tr("More"));
    mnuMORE->setObjectName(QStringLiteral("More1"));

    menuHelp = menuBar()->addMenu(tr("&Help"));
    menuHelp->setObjectName(QStringLiteral("Help1"));
    mnuABOUT = menuHelp->addAction(tr("&About..."));
    mnuABOUT->setObjectName(QStringLiteral("About1"));
}

// ---------------------------------------------------------------------------
// Tabs

namespace {
QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}
PathEdit *pathEdit(QWidget *parent, const char *name, PathEdit::Mode mode,
                   const QString &filter = QString())
{
    auto *p = new PathEdit(mode, parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFilter(filter);
    return p;
}
// The page of a tab whose fields may not fit the window: they scroll instead
// of making the whole window taller than its 580 x 570.
QWidget *scrollingPage(QWidget *tab)
{
    auto *outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(tab);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    outer->addWidget(scroll);
    return page;
}
} // namespace

void MainWindow::buildBlogTab()
{
    tabBLOG = new QWidget;
    tabBLOG->setObjectName(QStringLiteral("tabBLOG"));
    auto *layout = new QHBoxLayout(tabBLOG);
    layout->setContentsMargins(2, 2, 2, 2);

    Splitter1 = new QSplitter(Qt::Horizontal, tabBLOG);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);

    pnlLEVY = new QWidget(Splitter1);
    pnlLEVY->setObjectName(QStringLiteral("pnlLEVY"));
    auto *ll = new QVBoxLayout(pnlLEVY);
    ll->setContentsMargins(0, 0, 0, 0);
    edtFIND = lineEdit(pnlLEVY, "edtFIND");
    edtFIND->setPlaceholderText(tr("Find (Ctrl+F)"));
    edtFIND->setClearButtonEnabled(true);
    edtFIND->setToolTip(tr("Shows only the posts whose title or text holds what is typed here"));
    ll->addWidget(edtFIND);
    TreeView1 = new QTreeWidget(pnlLEVY);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    ll->addWidget(TreeView1);
    pnlLEVY->resize(161, pnlLEVY->height());

    auto *right = new QWidget(Splitter1);
    auto *rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    auto *strip = new QWidget(right);
    auto *sl = new QGridLayout(strip);
    sl->setContentsMargins(2, 2, 2, 2);
    DateEdit1 = new PostDateEdit(strip); // may be empty (ui/posts)
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit1->setCalendarPopup(true);
    DateEdit1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    timeedit1 = lineEdit(strip, "timeedit1");
    timeedit1->setInputMask(QStringLiteral("09:99"));
    timeedit1->setMaximumWidth(60);
    edtNADPIS = lineEdit(strip, "edtNADPIS");
    btnCLOSEPOST = new QToolButton(strip);
    btnCLOSEPOST->setObjectName(QStringLiteral("btnCLOSEPOST"));
    btnCLOSEPOST->setDefaultAction(actCLOSEPOST);
    btnCLOSEPOST->setAutoRaise(true);
    lblCATEGORY = new QLabel(tr("Category:"), strip);
    lblCATEGORY->setObjectName(QStringLiteral("lblCATEGORY"));
    lblCATEGORY->hide();
    auto *cat = new QComboBox(strip);
    cat->setObjectName(QStringLiteral("cmbCATEGORY"));
    cat->hide();
    cmbCATEGORY = cat;
    sl->addWidget(new QLabel(tr("Date:"), strip), 0, 0);
    sl->addWidget(DateEdit1, 0, 1);
    sl->addWidget(new QLabel(tr("Time:"), strip), 0, 2);
    sl->addWidget(timeedit1, 0, 3);
    sl->addWidget(lblCATEGORY, 0, 4);
    sl->addWidget(cat, 0, 5);
    sl->setColumnStretch(6, 1);
    sl->addWidget(new QLabel(tr("Title:"), strip), 1, 0);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(edtNADPIS, 1);
    titleRow->addWidget(btnCLOSEPOST);
    sl->addLayout(titleRow, 1, 1, 1, 6);
    rl->addWidget(strip);
    memoOBSAH = new PostEditor(right);
    memoOBSAH->setObjectName(QStringLiteral("memoOBSAH"));
    rl->addWidget(memoOBSAH, 1);

    Splitter1->addWidget(pnlLEVY);
    Splitter1->addWidget(right);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({161, 400});
    layout->addWidget(Splitter1);
    PageControl1->addTab(tabBLOG, tr("Blog"));
}

void MainWindow::buildOptionsTab()
{
    tabOPTIONS = new QWidget;
    tabOPTIONS->setObjectName(QStringLiteral("tabOPTIONS"));
    auto *layout = new QHBoxLayout(scrollingPage(tabOPTIONS));

    auto *left = new QVBoxLayout;
    auto *gbProjects = new QGroupBox(tr("Projects"), tabOPTIONS);
    auto *pl = new QVBoxLayout(gbProjects);
    lstPROJEKTY = new QListWidget(gbProjects);
    lstPROJEKTY->setObjectName(QStringLiteral("lstPROJEKTY"));
    pl->addWidget(lstPROJEKTY);
    Button2 = new QPushButton(tr("Add project"), gbProjects);
    Button2->setObjectName(QStringLiteral("Button2"));
    pl->addWidget(Button2);
    left->addWidget(gbProjects, 1);
    left->addWidget(new QLabel(tr("Default project:"), tabOPTIONS));
    cmbDEFPROJ = new ComboBox(tabOPTIONS);
    cmbDEFPROJ->setObjectName(QStringLiteral("cmbDEFPROJ"));
    left->addWidget(cmbDEFPROJ);
    layout->addLayout(left, 1);

    // Rows a little closer than the style's default, so that the tab fits
    // the window's 580 x 570 without scrolling.
    auto *right = new QVBoxLayout;
    auto *gbPaths = new QGroupBox(tr("Local paths"), tabOPTIONS);
    auto *fl = new QFormLayout(gbPaths);
    fl->setVerticalSpacing(2);
    pathMAIN = pathEdit(gbPaths, "pathMAIN", PathEdit::Folder);
    pathCONF = pathEdit(gbPaths, "pathCONF", PathEdit::Folder);
    pathDATA = pathEdit(gbPaths, "pathDATA", PathEdit::Folder);
    fl->addRow(tr("Main path:"), pathMAIN);
    fl->addRow(tr("Config folder:"), pathCONF);
    fl->addRow(tr("Data folder:"), pathDATA);
    right->addWidget(gbPaths);

    const QString htmlFilter = QStringLiteral("HTML Templates (*.htm*)|*.htm*");
    auto *gbParams = new QGroupBox(tr("Parameters"), tabOPTIONS);
    auto *fp = new QFormLayout(gbParams);
    fp->setVerticalSpacing(2);
    edtMAINURI = lineEdit(gbParams, "edtMAINURI", QStringLiteral("http://"));
    edtCOUNT = lineEdit(gbParams, "edtCOUNT", QStringLiteral("10"));
    fileTEMPLATE = pathEdit(gbParams, "fileTEMPLATE", PathEdit::File, htmlFilter);
    archiveTEMPLATE = pathEdit(gbParams, "archiveTEMPLATE", PathEdit::File, htmlFilter);
    dirPATHARCHIVES = lineEdit(gbParams, "dirPATHARCHIVES");
    edtMAINHTML = lineEdit(gbParams, "edtMAINHTML", QStringLiteral("index.html"));
    edtRSSTEMPLATE = pathEdit(gbParams, "edtRSSTEMPLATE", PathEdit::File,
                              QStringLiteral("RSS Templates (*.rss)|*.rss"));
    edtRSSFILE = lineEdit(gbParams, "edtRSSFILE", QStringLiteral("rss.xml"));
    edtTXTTEMPLATE = pathEdit(gbParams, "edtTXTTEMPLATE", PathEdit::File,
                              QStringLiteral("TXT Templates (*.txt)|*.txt"));
    edtTXTFILE = lineEdit(gbParams, "edtTXTFILE", QStringLiteral("text.htm"));
    fp->addRow(tr("Main URI:"), edtMAINURI);
    fp->addRow(tr("Count of notes on the main page:"), edtCOUNT);
    fp->addRow(tr("Generate from template:"), fileTEMPLATE);
    fp->addRow(tr("Template for archive:"), archiveTEMPLATE);
    fp->addRow(tr("Relative path for archives:"), dirPATHARCHIVES);
    fp->addRow(tr("Name of main HTML page:"), edtMAINHTML);
    fp->addRow(tr("RSS template:"), edtRSSTEMPLATE);
    fp->addRow(tr("Name of RSS file:"), edtRSSFILE);
    fp->addRow(tr("TXT template:"), edtTXTTEMPLATE);
    fp->addRow(tr("Name of TXT file:"), edtTXTFILE);
    right->addWidget(gbParams);
    btnSAVETVP = new QPushButton(tr("Save to TVP file"), tabOPTIONS);
    btnSAVETVP->setObjectName(QStringLiteral("btnSAVETVP"));
    left->addWidget(btnSAVETVP);
    right->addStretch(1);
    layout->addLayout(right, 2);

    for (PathEdit *p : {pathMAIN, pathCONF, pathDATA, fileTEMPLATE, archiveTEMPLATE,
                        edtRSSTEMPLATE, edtTXTTEMPLATE})
        connect(p, &PathEdit::browseRequested, this, [this](PathEdit *f) { onBrowse(f); });

    PageControl1->addTab(tabOPTIONS, tr("Options"));
}

void MainWindow::buildContentTab()
{
    tabCONTENT = new QWidget;
    tabCONTENT->setObjectName(QStringLiteral("tabCONTENT"));
    auto *layout = new QVBoxLayout(scrollingPage(tabCONTENT));
    gbCONTENT = new QGroupBox(QString(), tabCONTENT);
    gbCONTENT->setObjectName(QStringLiteral("gbCONTENT"));
    auto *gl = new QVBoxLayout(gbCONTENT);
    auto *fl = new QFormLayout;
    edtAUTHOR = lineEdit(gbCONTENT, "edtAUTHOR");
    edtEMAIL = lineEdit(gbCONTENT, "edtEMAIL");
    edtLONGPOSTSEPARATOR = lineEdit(gbCONTENT, "edtLONGPOSTSEPARATOR", QStringLiteral("Continue..."));
    edtSITETITLE = lineEdit(gbCONTENT, "edtSITETITLE", QStringLiteral("My weblog"));
    edtSITETITLE->setToolTip(tr("The name of the site: the feed's title, and the pages' heading "
                                "where a template asks for it"));
    fl->addRow(tr("Site title:"), edtSITETITLE);
    fl->addRow(tr("Author:"), edtAUTHOR);
    fl->addRow(tr("E-mail:"), edtEMAIL);
    fl->addRow(tr("Next (long post):"), edtLONGPOSTSEPARATOR);
    gl->addLayout(fl);
    auto *groups = new QHBoxLayout;
    rgPARAGRAPH = new RadioGroup(tr("Paragraphs"),
                                 {QStringLiteral("<br />"), QStringLiteral("<p></p>"),
                                  QStringLiteral("unformatted")},
                                 gbCONTENT);
    rgPARAGRAPH->setObjectName(QStringLiteral("rgPARAGRAPH"));
    rgPARAGRAPH->setItemIndex(0);
    rgCHARSET = new RadioGroup(tr("Charset"),
                               {QStringLiteral("windows-1250"), QStringLiteral("iso-8859-2")},
                               gbCONTENT);
    rgCHARSET->setObjectName(QStringLiteral("rgCHARSET"));
    rgCHARSET->setItemIndex(0);
    groups->addWidget(rgPARAGRAPH);
    groups->addWidget(rgCHARSET);
    gl->addLayout(groups);
    layout->addWidget(gbCONTENT);
    Button1 = new QPushButton(tr("Save to TVP file"), tabCONTENT);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setEnabled(false);
    layout->addWidget(Button1, 0, Qt::AlignRight);
    layout->addStretch(1);
    PageControl1->addTab(tabCONTENT, tr("Content"));
}

void MainWindow::buildFtpTab()
{
    tabFTP = new QWidget;
    tabFTP->setObjectName(QStringLiteral("tabFTP"));
    auto *layout = new QHBoxLayout(scrollingPage(tabFTP));

    auto *gbSetup = new QGroupBox(tr("FTP setup"), tabFTP);
    auto *fl = new QFormLayout(gbSetup);
    edtFTPADDRESS = lineEdit(gbSetup, "edtFTPADDRESS");
    edtUSER = lineEdit(gbSetup, "edtUSER");
    edtPASSWORD = lineEdit(gbSetup, "edtPASSWORD");
    edtPASSWORD->setEchoMode(QLineEdit::Password);
    RxSpeedButton1 = new QToolButton(gbSetup);
    RxSpeedButton1->setObjectName(QStringLiteral("RxSpeedButton1"));
    RxSpeedButton1->setText(QStringLiteral("x"));
    RxSpeedButton1->setToolTip(tr("Show/hide password"));
    auto *pwRow = new QHBoxLayout;
    pwRow->addWidget(edtPASSWORD, 1);
    pwRow->addWidget(RxSpeedButton1);
    edtFIREWALL = lineEdit(gbSetup, "edtFIREWALL");
    edtPORT = lineEdit(gbSetup, "edtPORT");
    chkPROXY = new QCheckBox(tr("use proxy"), gbSetup);
    chkPROXY->setObjectName(QStringLiteral("chkPROXY"));
    chkPASSIVE = new QCheckBox(tr("Passive mode"), gbSetup);
    chkPASSIVE->setObjectName(QStringLiteral("chkPASSIVE"));
    chkPASSIVE->setChecked(true);
    chkPASSIVE->setToolTip(tr("The program opens the data connections; needed behind most routers"));
    chkFTPS = new QCheckBox(tr("Use TLS (FTPS)"), gbSetup);
    chkFTPS->setObjectName(QStringLiteral("chkFTPS"));
    chkFTPS->setToolTip(tr("Encrypt the password and the files (explicit FTPS)"));
    chkSFTP = new QCheckBox(tr("Use SFTP (SSH)"), gbSetup);
    chkSFTP->setObjectName(QStringLiteral("chkSFTP"));
    chkSFTP->setToolTip(tr("Publish over SSH; an empty port means 22"));
    edtFINGERPRINT = lineEdit(gbSetup, "edtFINGERPRINT");
    edtFINGERPRINT->hide();
    rPATHMAIN = lineEdit(gbSetup, "rPATHMAIN");
    rDATAPATH = lineEdit(gbSetup, "rDATAPATH");
    edtNOTE = lineEdit(gbSetup, "edtNOTE");
    fl->addRow(tr("Address:"), edtFTPADDRESS);
    fl->addRow(tr("User:"), edtUSER);
    fl->addRow(tr("Password:"), pwRow);
    fl->addRow(tr("Firewall:"), edtFIREWALL);
    fl->addRow(tr("Port:"), edtPORT);
    fl->addRow(QString(), chkPROXY);
    fl->addRow(QString(), chkPASSIVE);
    fl->addRow(QString(), chkFTPS);
    fl->addRow(QString(), chkSFTP);
    fl->addRow(tr("Remote path:"), rPATHMAIN);
    fl->addRow(tr("Remote data path:"), rDATAPATH);
    fl->addRow(tr("Note:"), edtNOTE);
    Button4 = new QPushButton(tr("Save to TVP file"), gbSetup);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setEnabled(false);
    fl->addRow(QString(), Button4);
    layout->addWidget(gbSetup, 1);

    auto *right = new QVBoxLayout;
    auto *filesRow = new QHBoxLayout;
    filesRow->addWidget(new QLabel(tr("Files"), tabFTP));
    filesRow->addStretch(1);
    RxSpeedButton3 = new QToolButton(tabFTP);
    RxSpeedButton3->setObjectName(QStringLiteral("RxSpeedButton3"));
    RxSpeedButton3->setText(QStringLiteral("-"));
    RxSpeedButton3->setToolTip(tr("Remove from list"));
    filesRow->addWidget(RxSpeedButton3);
    right->addLayout(filesRow);
    lstFILESFTP = new QListWidget(tabFTP);
    lstFILESFTP->setObjectName(QStringLiteral("lstFILESFTP"));
    right->addWidget(lstFILESFTP, 1);
    chkALLFILES = new QCheckBox(tr("Send all data files"), tabFTP);
    chkALLFILES->setObjectName(QStringLiteral("chkALLFILES"));
    right->addWidget(chkALLFILES);
    btnSENDFTP = new QPushButton(tr("Send to FTP"), tabFTP);
    btnSENDFTP->setObjectName(QStringLiteral("btnSENDFTP"));
    btnSENDFTP->setEnabled(false);
    btnWHOLESITE = new QPushButton(tr("Send whole site"), tabFTP);
    btnWHOLESITE->setObjectName(QStringLiteral("btnWHOLESITE"));
    btnWHOLESITE->setToolTip(tr("Send every page of the main and archive folders, "
                                "for a new server or one that lost its files"));
    btnWHOLESITE->setEnabled(false);
    right->addWidget(btnSENDFTP);
    right->addWidget(btnWHOLESITE);
    // The running transfer: its progress and a way to stop it.
    auto *transferRow = new QHBoxLayout;
    pbFTP = new QProgressBar(tabFTP);
    pbFTP->setObjectName(QStringLiteral("pbFTP"));
    pbFTP->setRange(0, 1000);
    pbFTP->setValue(0);
    pbFTP->setTextVisible(false);
    transferRow->addWidget(pbFTP, 1);
    btnCANCELFTP = new QPushButton(tr("Cancel"), tabFTP);
    btnCANCELFTP->setObjectName(QStringLiteral("btnCANCELFTP"));
    btnCANCELFTP->setEnabled(false);
    transferRow->addWidget(btnCANCELFTP);
    right->addLayout(transferRow);
    auto *gbFrom = new QGroupBox(tr("Data files from FTP"), tabFTP);
    auto *gf = new QVBoxLayout(gbFrom);
    lstFROMFTP = new QListWidget(gbFrom);
    lstFROMFTP->setObjectName(QStringLiteral("lstFROMFTP"));
    gf->addWidget(lstFROMFTP, 1);
    Button3 = new QPushButton(tr("Save to local"), gbFrom);
    Button3->setObjectName(QStringLiteral("Button3"));
    gf->addWidget(Button3);
    right->addWidget(gbFrom, 1);
    lstDATAFTP = new QListWidget(tabFTP);
    lstDATAFTP->setObjectName(QStringLiteral("lstDATAFTP"));
    lstDATAFTP->hide();
    layout->addLayout(right, 1);

    PageControl1->addTab(tabFTP, tr("FTP"));
}

void MainWindow::onBrowse(PathEdit *field)
{
    QString start = field->text().isEmpty() ? field->initialDir() : field->text();
    QString chosen = field->mode() == PathEdit::Folder
                         ? prompts_->chooseFolder(QString(), start)
                         : prompts_->chooseFile(QString(), start, field->filter());
    if (!chosen.isEmpty())
        field->setText(chosen);
}

// ---------------------------------------------------------------------------
// Start-up

void MainWindow::startUp()
{
    // 1. No project yet.
    currentProjectName.clear();
    pendingProjectIndex = -1;

    // 2. Interface texts, when their file is there.
    const std::string folder = SettingsFolder();
    if (QFileInfo::exists(pathText(folder + "czech.lng")))
        LoadInterfaceTexts(QStringLiteral("czech.lng"));

    // 3. Caption with the build number of the program file.
    setWindowTitle(windowTitle() + QStringLiteral(" [build ")
                   + QString::fromStdString(FileVersionText(ProgramFilePath())) + QStringLiteral("]"));

    // 4. First run: folders and paths beside the program.
    if (!QFileInfo::exists(pathText(settingsFile()))) {
        // "CONF" and "conf" are one folder: a conf folder that is already
        // there (the default files beside the program) is the one to use.
        const QString conf = pathText(childFolderAnyCase(folder, "CONF"));
        const QString data = pathText(childFolderAnyCase(folder, "DATA"));
        QDir().mkdir(conf);
        QDir().mkdir(data);
        // The main path is the settings folder itself, without its "/".
        QString mainPath = pathText(folder);
        if (mainPath.endsWith(QLatin1Char('/')))
            mainPath.chop(1);
        pathMAIN->setText(mainPath);
        pathCONF->setText(conf);
        pathDATA->setText(data);
    }

    // 5. The settings storage is bound and made active (restores on show).
    setupStorages();

    // 6. The template picker starts in the configuration folder.
    fileTEMPLATE->setInitialDir(pathCONF->text());

    // 7. Generate only with something in the tree.
    actGENERATE->setEnabled(TreeView1->topLevelItemCount() > 0);

    // 8. The project list.
    ListProjectFiles();

    // 9. Nothing to save yet.
    actSAVE->setEnabled(false);

    // 10. The tag entries of the Tags menu.
    BuildTagsMenu();

    // 11. Default-project choices.
    cmbDEFPROJ->clear();
    for (int i = 0; i < lstPROJEKTY->count(); ++i)
        cmbDEFPROJ->addItem(lstPROJEKTY->item(i)->text());
    cmbDEFPROJ->setEditText(QString());
}

void MainWindow::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (shownOnce_ || e->spontaneous())
        return;
    shownOnce_ = true;
    firstShow();
}

void MainWindow::firstShow()
{
    // 12. The settings storage restores first (the default project's name
    // among its values), then the project storage if it is active.
    restoreStoragesOnShow();

    // 13. Open the default project through the pending index.
    const QString name = cmbDEFPROJ->text();
    if (name.isEmpty())
        return;
    for (int i = 0; i < lstPROJEKTY->count(); ++i) {
        if (lstPROJEKTY->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            pendingProjectIndex = i;
            run([this] { ChooseProject(); });
            pendingProjectIndex = -1;
            break;
        }
    }
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    // However the window is closed (title bar, Alt+F4, the desktop's
    // logout), changes to the open post are not thrown away unasked; Exit
    // has asked already. A save that fails keeps the window open.
    const bool asked = exitAnswered_;
    exitAnswered_ = false;
    if (!asked && openPostChanged()) {
        switch (prompts_->saveChanges(QStringLiteral("Confirm"),
                                      QStringLiteral("Post is not saved. Save now?"))) {
        case Prompts::Answer::Yes:
            run([this] { actSAVEExecute(); });
            if (openPostChanged()) {
                e->ignore();
                return;
            }
            break;
        case Prompts::Answer::No:
            break;
        default:
            e->ignore();
            return;
        }
    }
    // A transfer still waiting for the network is stopped, so that closing
    // does not wait on the server.
    btnCANCELFTPClick();
    saveStoragesOnClose();
    e->accept();
}

void MainWindow::actEXITExecute()
{
    if (postOpen) {
        switch (prompts_->question(QStringLiteral("Confirm"),
                                   QStringLiteral("Post is not saved. Save now?"), true)) {
        case Prompts::Answer::Yes:
            actSAVEExecute();
            break;
        case Prompts::Answer::No:
            break;
        default:
            return;
        }
    }
    exitAnswered_ = true;
    close();
}

} // namespace tl
