#pragma once
// A project's settings as one value: what the writer set on the Options,
// Content and FTP tabs. The window edits it, the project file adapter
// (projectfile.h) reads and writes it, and generation and publishing take
// it. Texts are as the writer typed them (Unicode); the adapter converts
// them to and from the file's windows-1250.
//
// Numbers the writer types (the count of posts, the port) stay texts here:
// the command that uses them says when one is not a number.
#include <QString>

namespace tl {

// How a post's text becomes HTML.
enum class ParagraphMode {
    None = -1,       // nothing chosen: the text as it is
    LineBreaks = 0,  // "<br />"
    Paragraphs = 1,  // "<p></p>"
    Unformatted = 2, // the text as it is
    Markdown = 3,    // rendered from Markdown
};

// The character set of generated pages.
enum class OutputCharset {
    None = -1,       // nothing chosen: as windows-1250, with no charset name
    Windows1250 = 0,
    Iso88592 = 1,
    Utf8 = 2,
};

// Where a project publishes.
enum class PublishTarget {
    Server = 0, // an FTP, FTPS or SFTP server
    Git = 1,    // a branch of a Git repository (a Pages service)
    S3 = 2,     // an S3-compatible bucket
};

// Where the site is, how it is built and what it is called.
struct SiteSettings {
    QString mainFolder;   // the generated site
    QString configFolder; // the templates
    QString dataFolder;   // the post files
    QString mainUri = QStringLiteral("http://");
    QString postsOnMainPage = QStringLiteral("10");
    QString mainTemplate;
    QString archiveTemplate;
    QString archiveFolder; // below the main folder
    QString mainPageName = QStringLiteral("index.html");
    QString feedTemplate; // empty: no feed
    QString feedName = QStringLiteral("rss.xml");
    QString textTemplate; // empty: no text page
    QString textPageName = QStringLiteral("text.htm");
    bool operator==(const SiteSettings &) const = default;
};

// What the pages say about the site and how posts are shown.
struct ContentSettings {
    QString siteTitle = QStringLiteral("My weblog");
    QString author;
    QString email;
    QString longPostLink = QStringLiteral("Continue...");
    ParagraphMode paragraphs = ParagraphMode::LineBreaks;
    OutputCharset charset = OutputCharset::Windows1250;
    // Spell checking in the editor, and its language ("cs_CZ"; empty: the
    // system's language where a dictionary for it is installed).
    bool spellCheck = true;
    QString spellLanguage;
    bool operator==(const ContentSettings &) const = default;
};

// The server the site and the posts are published to.
struct ServerSettings {
    PublishTarget target = PublishTarget::Server;
    QString host;
    QString user;
    QString proxyHost; // used only with useProxy
    QString port;      // empty: the protocol's own
    bool useProxy = false;
    bool passive = true;  // FTP: passive mode
    bool tls = false;     // FTP: explicit FTPS
    bool sftp = false;    // SFTP over SSH instead of FTP
    QString remoteMainFolder; // where the site goes
    QString remoteDataFolder; // where the post files go, and come from
    QString note;
    // FTPS: the SHA-256 fingerprint of a certificate the writer accepted
    // although no trusted authority vouches for it.
    QString trustedFingerprint;
    // A Git branch: the repository and the branch. The remote folders name
    // folders inside the repository ("/" its root; an empty data folder:
    // the posts are not sent).
    QString gitUrl;
    QString gitBranch = QStringLiteral("gh-pages");
    // An S3-compatible bucket: endpoint, region, bucket and access key ID
    // (the secret is never stored here). The remote folders name key
    // prefixes.
    QString s3Endpoint;
    QString s3Region = QStringLiteral("us-east-1");
    QString s3Bucket;
    QString s3KeyId;
    bool operator==(const ServerSettings &) const = default;
};

struct ProjectSettings {
    SiteSettings site;
    ContentSettings content;
    ServerSettings server;
    int treeWidth = 161; // the post tree's panel
    bool operator==(const ProjectSettings &) const = default;

    // A copy whose folder-like values end with "/": the remote main and data
    // folders, the archive folder and the main URI (an empty value stays
    // empty). Without it "/www" and "index.html" would make "/wwwindex.html".
    ProjectSettings normalized() const;
};

// `text` with "/" appended unless it is empty or ends with "/" already.
QString asFolder(const QString &text);

// Whether a main URI names a host ("http://blog.example.com/" does,
// "http://" and "blog" do not): links built on one without a host lead
// nowhere.
bool uriHasHost(const QString &uri);

} // namespace tl
