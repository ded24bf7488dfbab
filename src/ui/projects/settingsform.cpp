#include "ui/projects/settingsform.h"

#include "core/openproject.h"
#include "core/projectsettings.h"
#include "ui/prompts.h"
#include "ui/widgets.h"
#include "ui/windowshell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tl {

namespace {

using S = ProjectSettings;

QLineEdit *lineEdit(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

PathEdit *pathEdit(
    QWidget *parent, const char *name, PathEdit::Mode mode, const QString &filter = QString())
{
    auto *p = new PathEdit(mode, parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFilter(filter);
    return p;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption, const QString &tip)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(tip);
    return c;
}

// Rows a little closer than the style's default, so that the tabs fit the
// window's 580 x 570 without scrolling.
QFormLayout *formIn(QWidget *group)
{
    auto *form = new QFormLayout(group);
    form->setVerticalSpacing(2);
    return form;
}

} // namespace

SettingsForm::SettingsForm(WindowShell &shell, OpenProject &project, QWidget *optionsPlace,
    QWidget *contentPlace, QWidget *serverPlace, QWidget *passwordRow, QWidget *serverSaveButton,
    QObject *parent)
    : QObject(parent)
    , shell_(shell)
    , project_(project)
{
    buildOptions(optionsPlace);
    buildContent(contentPlace);
    buildServer(serverPlace, passwordRow, serverSaveButton);
    connect(&project_, &OpenProject::replaced, this, &SettingsForm::showSettings);
    connect(&project_, &OpenProject::nameChanged, this,
        [this](const QString &name) { contentGroup_->setTitle(name); });
    showSettings();
}

// ---------------------------------------------------------------------------
// Bindings

void SettingsForm::bindText(QLineEdit *edit, QString &(*value)(S &))
{
    shows_.push_back([edit, value](S &s) {
        const QString text = value(s);
        if (edit->text() != text)
            edit->setText(text);
    });
    connect(edit, &QLineEdit::textChanged, this, [this, value](const QString &text) {
        if (!showing_)
            project_.edit([&](S &s) { value(s) = text; });
    });
}

void SettingsForm::bindPath(PathEdit *edit, QString &(*value)(S &))
{
    shows_.push_back([edit, value](S &s) {
        const QString text = value(s);
        if (edit->text() != text)
            edit->setText(text);
    });
    connect(edit, &PathEdit::textChanged, this, [this, value](const QString &text) {
        if (!showing_)
            project_.edit([&](S &s) { value(s) = text; });
    });
    connect(edit, &PathEdit::browseRequested, this, [this](PathEdit *f) { browse(f); });
}

void SettingsForm::bindFlag(QCheckBox *box, bool &(*value)(S &))
{
    shows_.push_back([box, value](S &s) { box->setChecked(value(s)); });
    connect(box, &QCheckBox::toggled, this, [this, value](bool on) {
        if (!showing_)
            project_.edit([&](S &s) { value(s) = on; });
    });
}

void SettingsForm::bindChoice(RadioGroup *group, int (*get)(const S &), void (*set)(S &, int))
{
    shows_.push_back([group, get](S &s) { group->setItemIndex(get(s)); });
    connect(group, &RadioGroup::itemIndexChanged, this, [this, set](int index) {
        if (!showing_)
            project_.edit([&](S &s) { set(s, index); });
    });
}

// The language box lists "" (the system's language) first, then the
// dictionaries; its items carry the language as their data.
void SettingsForm::bindLanguage(QComboBox *box, QString &(*value)(S &))
{
    shows_.push_back([this, value](S &s) { showLanguage(value(s)); });
    connect(box, &QComboBox::currentIndexChanged, this, [this, box, value](int index) {
        if (!showing_ && index >= 0)
            project_.edit([&](S &s) { value(s) = box->itemData(index).toString(); });
    });
}

void SettingsForm::showLanguage(const QString &language)
{
    int index = languageBox_->findData(language);
    if (index < 0) {
        // A dictionary this machine lacks stays the project's choice.
        languageBox_->addItem(tr("%1 (not installed)").arg(language), language);
        index = languageBox_->count() - 1;
    }
    const bool wasShowing = showing_;
    showing_ = true;
    languageBox_->setCurrentIndex(index);
    showing_ = wasShowing;
}

void SettingsForm::setDictionaries(const QStringList &names, const QString &systemLanguage)
{
    const bool wasShowing = showing_;
    showing_ = true;
    languageBox_->clear();
    languageBox_->addItem(systemLanguage.isEmpty() ? tr("System language (no dictionary)")
                                                   : tr("System language (%1)").arg(systemLanguage),
        QString());
    for (const QString &name : names)
        languageBox_->addItem(name, name);
    showing_ = wasShowing;
    showLanguage(project_.settings().content.spellLanguage);
}

void SettingsForm::showSettings()
{
    showing_ = true;
    // A copy: the bindings read their values through references.
    S s = project_.settings();
    for (const auto &show : shows_)
        show(s);
    showing_ = false;
    // Passive mode and TLS belong to FTP: SFTP has neither.
    passiveBox_->setEnabled(!s.server.sftp);
    tlsBox_->setEnabled(!s.server.sftp);
    showTargetFields(s.server.target);
    languageBox_->setEnabled(s.content.spellCheck);
    // The template pickers start in the configuration folder.
    for (PathEdit *p : templatePickers_)
        p->setInitialDir(s.site.configFolder);
}

void SettingsForm::browse(PathEdit *field)
{
    const QString start = field->text().isEmpty() ? field->initialDir() : field->text();
    const QString chosen = field->mode() == PathEdit::Folder
        ? shell_.prompts().chooseFolder(QString(), start)
        : shell_.prompts().chooseFile(QString(), start, field->filter());
    if (!chosen.isEmpty())
        field->setText(chosen);
}

// ---------------------------------------------------------------------------
// The tabs' fields

void SettingsForm::buildOptions(QWidget *place)
{
    auto *layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *paths = new QGroupBox(tr("Local paths"), place);
    QFormLayout *fl = formIn(paths);
    PathEdit *mainFolder = pathEdit(paths, "pathMAIN", PathEdit::Folder);
    PathEdit *configFolder = pathEdit(paths, "pathCONF", PathEdit::Folder);
    PathEdit *dataFolder = pathEdit(paths, "pathDATA", PathEdit::Folder);
    fl->addRow(tr("Main path:"), mainFolder);
    fl->addRow(tr("Config folder:"), configFolder);
    fl->addRow(tr("Data folder:"), dataFolder);
    layout->addWidget(paths);
    bindPath(mainFolder, [](S &s) -> QString & { return s.site.mainFolder; });
    bindPath(configFolder, [](S &s) -> QString & { return s.site.configFolder; });
    bindPath(dataFolder, [](S &s) -> QString & { return s.site.dataFolder; });

    const QString htmlFilter = QStringLiteral("HTML Templates (*.htm*)|*.htm*");
    auto *params = new QGroupBox(tr("Parameters"), place);
    QFormLayout *fp = formIn(params);
    QLineEdit *mainUri = lineEdit(params, "edtMAINURI");
    QLineEdit *postCount = lineEdit(params, "edtCOUNT");
    PathEdit *mainTemplate = pathEdit(params, "fileTEMPLATE", PathEdit::File, htmlFilter);
    PathEdit *archiveTemplate = pathEdit(params, "archiveTEMPLATE", PathEdit::File, htmlFilter);
    QLineEdit *archiveFolder = lineEdit(params, "dirPATHARCHIVES");
    QLineEdit *mainPage = lineEdit(params, "edtMAINHTML");
    PathEdit *feedTemplate = pathEdit(
        params, "edtRSSTEMPLATE", PathEdit::File, QStringLiteral("RSS Templates (*.rss)|*.rss"));
    QLineEdit *feedName = lineEdit(params, "edtRSSFILE");
    PathEdit *textTemplate = pathEdit(
        params, "edtTXTTEMPLATE", PathEdit::File, QStringLiteral("TXT Templates (*.txt)|*.txt"));
    QLineEdit *textPage = lineEdit(params, "edtTXTFILE");
    fp->addRow(tr("Main URI:"), mainUri);
    fp->addRow(tr("Count of notes on the main page:"), postCount);
    fp->addRow(tr("Generate from template:"), mainTemplate);
    fp->addRow(tr("Template for archive:"), archiveTemplate);
    fp->addRow(tr("Relative path for archives:"), archiveFolder);
    fp->addRow(tr("Name of main HTML page:"), mainPage);
    fp->addRow(tr("RSS template:"), feedTemplate);
    fp->addRow(tr("Name of RSS file:"), feedName);
    fp->addRow(tr("TXT template:"), textTemplate);
    fp->addRow(tr("Name of TXT file:"), textPage);
    layout->addWidget(params);
    layout->addStretch(1);
    templatePickers_ = { mainTemplate, archiveTemplate, feedTemplate, textTemplate };

    bindText(mainUri, [](S &s) -> QString & { return s.site.mainUri; });
    bindText(postCount, [](S &s) -> QString & { return s.site.postsOnMainPage; });
    bindPath(mainTemplate, [](S &s) -> QString & { return s.site.mainTemplate; });
    bindPath(archiveTemplate, [](S &s) -> QString & { return s.site.archiveTemplate; });
    bindText(archiveFolder, [](S &s) -> QString & { return s.site.archiveFolder; });
    bindText(mainPage, [](S &s) -> QString & { return s.site.mainPageName; });
    bindPath(feedTemplate, [](S &s) -> QString & { return s.site.feedTemplate; });
    bindText(feedName, [](S &s) -> QString & { return s.site.feedName; });
    bindPath(textTemplate, [](S &s) -> QString & { return s.site.textTemplate; });
    bindText(textPage, [](S &s) -> QString & { return s.site.textPageName; });
}

void SettingsForm::buildContent(QWidget *place)
{
    auto *layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    contentGroup_ = new QGroupBox(project_.name(), place);
    contentGroup_->setObjectName(QStringLiteral("gbCONTENT"));
    auto *gl = new QVBoxLayout(contentGroup_);
    auto *fl = new QFormLayout;
    QLineEdit *siteTitle = lineEdit(contentGroup_, "edtSITETITLE");
    siteTitle->setToolTip(tr("The name of the site: the feed's title, and the pages' heading "
                             "where a template asks for it"));
    QLineEdit *author = lineEdit(contentGroup_, "edtAUTHOR");
    QLineEdit *email = lineEdit(contentGroup_, "edtEMAIL");
    QLineEdit *longPostLink = lineEdit(contentGroup_, "edtLONGPOSTSEPARATOR");
    fl->addRow(tr("Site title:"), siteTitle);
    fl->addRow(tr("Author:"), author);
    fl->addRow(tr("E-mail:"), email);
    fl->addRow(tr("Next (long post):"), longPostLink);
    gl->addLayout(fl);
    auto *groups = new QHBoxLayout;
    auto *paragraphs = new RadioGroup(tr("Paragraphs"),
        { QStringLiteral("<br />"), QStringLiteral("<p></p>"), QStringLiteral("unformatted"),
            QStringLiteral("Markdown") },
        contentGroup_);
    paragraphs->setObjectName(QStringLiteral("rgPARAGRAPH"));
    // Markdown came later: a number beyond it still means "unformatted", as
    // the project file reads it.
    paragraphs->setBeyondLastIndex(int(ParagraphMode::Unformatted));
    paragraphs->setToolTip(tr("How a post's text becomes HTML: line breaks, paragraphs, "
                              "the text as typed, or Markdown (tables, links, emphasis; "
                              "HTML in the text is kept)"));
    auto *charset = new RadioGroup(tr("Charset"),
        { QStringLiteral("windows-1250"), QStringLiteral("iso-8859-2"), QStringLiteral("utf-8") },
        contentGroup_);
    charset->setObjectName(QStringLiteral("rgCHARSET"));
    charset->setBeyondLastIndex(int(OutputCharset::Iso88592));
    charset->setToolTip(tr("The character set of the pages, the feed and the text page; "
                           "utf-8 where the server says so for every page"));
    groups->addWidget(paragraphs);
    groups->addWidget(charset);
    gl->addLayout(groups);

    // Spell checking in the editor.
    auto *spelling = new QHBoxLayout;
    spellBox_ = checkBox(contentGroup_, "chkSPELL", tr("Check spelling"),
        tr("Underline misspelt words in the editor; right-click one for suggestions"));
    languageBox_ = new QComboBox(contentGroup_);
    languageBox_->setObjectName(QStringLiteral("cmbSPELLLANG"));
    auto *languageLabel = new QLabel(tr("Language:"), contentGroup_);
    languageLabel->setBuddy(languageBox_);
    spelling->addWidget(spellBox_);
    spelling->addSpacing(12);
    spelling->addWidget(languageLabel);
    spelling->addWidget(languageBox_, 1);
    gl->addLayout(spelling);
    layout->addWidget(contentGroup_);
    setDictionaries({}, QString());

    bindText(siteTitle, [](S &s) -> QString & { return s.content.siteTitle; });
    bindText(author, [](S &s) -> QString & { return s.content.author; });
    bindText(email, [](S &s) -> QString & { return s.content.email; });
    bindText(longPostLink, [](S &s) -> QString & { return s.content.longPostLink; });
    bindChoice(
        paragraphs, [](const S &s) { return static_cast<int>(s.content.paragraphs); },
        [](S &s, int i) { s.content.paragraphs = static_cast<ParagraphMode>(i); });
    bindChoice(
        charset, [](const S &s) { return static_cast<int>(s.content.charset); },
        [](S &s, int i) { s.content.charset = static_cast<OutputCharset>(i); });
    bindFlag(spellBox_, [](S &s) -> bool & { return s.content.spellCheck; });
    bindLanguage(languageBox_, [](S &s) -> QString & { return s.content.spellLanguage; });
    connect(spellBox_, &QCheckBox::toggled, languageBox_, &QWidget::setEnabled);
}

void SettingsForm::buildServer(QWidget *place, QWidget *passwordRow, QWidget *serverSaveButton)
{
    auto *layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *target = new RadioGroup(tr("Publish to"),
        { tr("FTP server"), tr("Git branch"), tr("S3 bucket") }, place, Qt::Horizontal);
    target->setObjectName(QStringLiteral("rgTARGET"));
    layout->addWidget(target);
    serverGroup_ = new QGroupBox(place);
    serverForm_ = new QFormLayout(serverGroup_);
    QFormLayout *fl = serverForm_;
    QWidget *group = serverGroup_;
    QLineEdit *host = lineEdit(group, "edtFTPADDRESS");
    QLineEdit *user = lineEdit(group, "edtUSER");
    QLineEdit *proxyHost = lineEdit(group, "edtFIREWALL");
    QLineEdit *port = lineEdit(group, "edtPORT");
    QCheckBox *proxy = checkBox(group, "chkPROXY", tr("use proxy"), QString());
    passiveBox_ = checkBox(group, "chkPASSIVE", tr("Passive mode"),
        tr("The program opens the data connections; needed behind most routers"));
    tlsBox_ = checkBox(group, "chkFTPS", tr("Use TLS (FTPS)"),
        tr("Encrypt the password and the files (explicit FTPS)"));
    QCheckBox *sftp = checkBox(
        group, "chkSFTP", tr("Use SFTP (SSH)"), tr("Publish over SSH; an empty port means 22"));
    QLineEdit *gitUrl = lineEdit(group, "edtGITURL");
    gitUrl->setToolTip(tr("The repository over SSH (git@host:owner/repo.git) or HTTPS"));
    QLineEdit *gitBranch = lineEdit(group, "edtGITBRANCH");
    gitBranch->setToolTip(tr("The branch a Pages service publishes; made when it does not exist"));
    QLineEdit *endpoint = lineEdit(group, "edtS3ENDPOINT");
    endpoint->setToolTip(tr("The storage service's address, such as https://s3.example.com"));
    QLineEdit *region = lineEdit(group, "edtS3REGION");
    QLineEdit *bucket = lineEdit(group, "edtS3BUCKET");
    QLineEdit *keyId = lineEdit(group, "edtS3KEYID");
    QLineEdit *remoteMain = lineEdit(group, "rPATHMAIN");
    QLineEdit *remoteData = lineEdit(group, "rDATAPATH");
    QLineEdit *note = lineEdit(group, "edtNOTE");
    passwordRow->setParent(group);
    serverSaveButton->setParent(group);
    fl->addRow(tr("Address:"), host);
    fl->addRow(tr("User:"), user);
    fl->addRow(tr("Repository:"), gitUrl);
    fl->addRow(tr("Branch:"), gitBranch);
    fl->addRow(tr("Endpoint:"), endpoint);
    fl->addRow(tr("Region:"), region);
    fl->addRow(tr("Bucket:"), bucket);
    fl->addRow(tr("Access key ID:"), keyId);
    fl->addRow(tr("Password:"), passwordRow);
    fl->addRow(tr("Firewall:"), proxyHost);
    fl->addRow(tr("Port:"), port);
    fl->addRow(QString(), proxy);
    fl->addRow(QString(), passiveBox_);
    fl->addRow(QString(), tlsBox_);
    fl->addRow(QString(), sftp);
    fl->addRow(tr("Remote path:"), remoteMain);
    fl->addRow(tr("Remote data path:"), remoteData);
    fl->addRow(tr("Note:"), note);
    fl->addRow(QString(), serverSaveButton);
    layout->addWidget(serverGroup_);
    layout->addStretch(1);
    passwordRow_ = passwordRow;
    remoteMain_ = remoteMain;
    remoteData_ = remoteData;
    ftpFields_ = { host, user, proxyHost, port, proxy, passiveBox_, tlsBox_, sftp };
    gitFields_ = { gitUrl, gitBranch };
    s3Fields_ = { endpoint, region, bucket, keyId };

    bindChoice(
        target, [](const S &s) { return static_cast<int>(s.server.target); },
        [](S &s, int i) { s.server.target = static_cast<PublishTarget>(i); });
    bindText(host, [](S &s) -> QString & { return s.server.host; });
    bindText(user, [](S &s) -> QString & { return s.server.user; });
    bindText(proxyHost, [](S &s) -> QString & { return s.server.proxyHost; });
    bindText(port, [](S &s) -> QString & { return s.server.port; });
    bindFlag(proxy, [](S &s) -> bool & { return s.server.useProxy; });
    bindFlag(passiveBox_, [](S &s) -> bool & { return s.server.passive; });
    bindFlag(tlsBox_, [](S &s) -> bool & { return s.server.tls; });
    bindFlag(sftp, [](S &s) -> bool & { return s.server.sftp; });
    bindText(gitUrl, [](S &s) -> QString & { return s.server.gitUrl; });
    bindText(gitBranch, [](S &s) -> QString & { return s.server.gitBranch; });
    bindText(endpoint, [](S &s) -> QString & { return s.server.s3Endpoint; });
    bindText(region, [](S &s) -> QString & { return s.server.s3Region; });
    bindText(bucket, [](S &s) -> QString & { return s.server.s3Bucket; });
    bindText(keyId, [](S &s) -> QString & { return s.server.s3KeyId; });
    bindText(remoteMain, [](S &s) -> QString & { return s.server.remoteMainFolder; });
    bindText(remoteData, [](S &s) -> QString & { return s.server.remoteDataFolder; });
    bindText(note, [](S &s) -> QString & { return s.server.note; });
    connect(sftp, &QCheckBox::toggled, this, [this](bool on) {
        passiveBox_->setEnabled(!on);
        tlsBox_->setEnabled(!on);
    });
    connect(target, &RadioGroup::itemIndexChanged, this,
        [this](int index) { showTargetFields(static_cast<PublishTarget>(index)); });
}

// Only the fields of the chosen target show; the password row, the remote
// folders and the note serve every target, under the names it gives them.
void SettingsForm::showTargetFields(PublishTarget target)
{
    const auto show = [this](const std::vector<QWidget *> &fields, bool shown) {
        for (QWidget *f : fields)
            serverForm_->setRowVisible(f, shown);
    };
    show(ftpFields_, target == PublishTarget::Server);
    show(gitFields_, target == PublishTarget::Git);
    show(s3Fields_, target == PublishTarget::S3);
    const auto label = [this](QWidget *field, const QString &text) {
        if (auto *l = qobject_cast<QLabel *>(serverForm_->labelForField(field)))
            l->setText(text);
    };
    switch (target) {
    case PublishTarget::Git:
        serverGroup_->setTitle(tr("Git setup"));
        label(passwordRow_, tr("Token:"));
        label(remoteMain_, tr("Site folder:"));
        label(remoteData_, tr("Posts folder:"));
        remoteMain_->setToolTip(tr("The site's folder in the repository (\"/\": its root)"));
        remoteData_->setToolTip(
            tr("The post files' folder in the repository (empty: they are not sent)"));
        break;
    case PublishTarget::S3:
        serverGroup_->setTitle(tr("S3 setup"));
        label(passwordRow_, tr("Secret:"));
        label(remoteMain_, tr("Site prefix:"));
        label(remoteData_, tr("Posts prefix:"));
        remoteMain_->setToolTip(
            tr("The key prefix of the site's files (\"/\": the bucket's root)"));
        remoteData_->setToolTip(tr("The key prefix of the post files (empty: they are not sent)"));
        break;
    case PublishTarget::Server:
        serverGroup_->setTitle(tr("FTP setup"));
        label(passwordRow_, tr("Password:"));
        label(remoteMain_, tr("Remote path:"));
        label(remoteData_, tr("Remote data path:"));
        remoteMain_->setToolTip(QString());
        remoteData_->setToolTip(QString());
        break;
    }
}

} // namespace tl
