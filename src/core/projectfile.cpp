#include "core/projectfile.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "core/ini.h"
#include "core/inivalue.h"
#include "core/programfiles.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

namespace tl {

QString asFolder(const QString &text)
{
    if (text.isEmpty() || text.endsWith(QLatin1Char('/')))
        return text;
    return text + QLatin1Char('/');
}

bool uriHasHost(const QString &uri)
{
    const qsizetype scheme = uri.indexOf(QStringLiteral("://"));
    if (scheme <= 0)
        return false;
    const QString rest = uri.mid(scheme + 3);
    const QString host = rest.left(rest.indexOf(QLatin1Char('/')));
    return !host.trimmed().isEmpty();
}

ProjectSettings ProjectSettings::normalized() const
{
    ProjectSettings s = *this;
    s.site.mainUri = asFolder(s.site.mainUri);
    s.site.archiveFolder = asFolder(s.site.archiveFolder);
    s.server.remoteMainFolder = asFolder(s.server.remoteMainFolder);
    s.server.remoteDataFolder = asFolder(s.server.remoteDataFolder);
    return s;
}

namespace {

using P = ProjectSettings;

// One stored field: its key, how its value is written and read, and how it
// takes its start value.
struct Field {
    const char *key;
    std::function<std::string(const P &)> encode;
    std::function<void(P &, const std::string &)> decode; // a present value
    std::function<void(P &, const P &)> copy;             // the field of another value
    bool startWhenMissing = false; // fields added later (see the header)
};

// A stored choice number as a choice: below -1 is -1 (nothing chosen), and a
// number beyond the last choice means `beyondLast`. The program once clamped
// such numbers to its last choice then; choices added since come after it,
// so old numbers keep their old meaning.
int clampChoice(int value, int choices, int beyondLast)
{
    if (value >= choices)
        return beyondLast;
    return std::max(value, -1);
}

// A field `member` of the settings group `group` (site, content, server).
template <auto group, auto member>
auto &at(P &p) { return (p.*group).*member; }
template <auto group, auto member>
const auto &at(const P &p) { return (p.*group).*member; }

template <auto group, auto member>
Field textField(const char *key, bool startWhenMissing = false)
{
    return {key, [](const P &p) { return iniWriteText(encodeCp1250(at<group, member>(p))); },
            [](P &p, const std::string &v) { at<group, member>(p) = decodeCp1250(iniReadText(v)); },
            [](P &p, const P &from) { at<group, member>(p) = at<group, member>(from); },
            startWhenMissing};
}

template <auto group, auto member>
Field booleanField(const char *key, bool startWhenMissing = false)
{
    return {key, [](const P &p) { return iniWriteBoolean(at<group, member>(p)); },
            [](P &p, const std::string &v) {
                // Any text but "True" or "False" leaves the value as it was.
                if (const auto b = iniReadBoolean(v))
                    at<group, member>(p) = *b;
            },
            [](P &p, const P &from) { at<group, member>(p) = at<group, member>(from); },
            startWhenMissing};
}

// A choice stored as its number (see clampChoice).
template <auto group, auto member, int choices, int beyondLast>
Field choiceField(const char *key)
{
    using E = std::remove_reference_t<decltype(at<group, member>(std::declval<P &>()))>;
    return {key, [](const P &p) {
                return iniWriteInteger(
                    clampChoice(static_cast<int>(at<group, member>(p)), choices, beyondLast));
            },
            [](P &p, const std::string &v) {
                at<group, member>(p) =
                    static_cast<E>(clampChoice(iniReadInteger(v), choices, beyondLast));
            },
            [](P &p, const P &from) { at<group, member>(p) = at<group, member>(from); }};
}

constexpr auto site = &P::site;
constexpr auto content = &P::content;
constexpr auto server = &P::server;
using S = SiteSettings;
using C = ContentSettings;
using V = ServerSettings;

// Every field, in the order the file has always held them.
const std::vector<Field> &fields()
{
    static const std::vector<Field> all = {
        textField<site, &S::mainFolder>("pathMAIN_Text"),
        textField<site, &S::configFolder>("pathCONF_Text"),
        textField<site, &S::dataFolder>("pathDATA_Text"),
        {"pnlLEVY_Width", [](const P &p) { return iniWriteInteger(p.treeWidth); },
         [](P &p, const std::string &v) { p.treeWidth = iniReadInteger(v); },
         [](P &p, const P &from) { p.treeWidth = from.treeWidth; }},
        textField<server, &V::host>("edtFTPADDRESS_Text"),
        textField<server, &V::user>("edtUSER_Text"),
        textField<server, &V::proxyHost>("edtFIREWALL_Text"),
        textField<server, &V::port>("edtPORT_Text"),
        textField<server, &V::remoteMainFolder>("rPATHMAIN_Text"),
        booleanField<server, &V::useProxy>("chkPROXY_Checked"),
        textField<server, &V::note>("edtNOTE_Text"),
        textField<server, &V::remoteDataFolder>("rDATAPATH_Text"),
        textField<site, &S::mainUri>("edtMAINURI_Text"),
        textField<site, &S::postsOnMainPage>("edtCOUNT_Text"),
        textField<site, &S::mainTemplate>("fileTEMPLATE_Text"),
        textField<site, &S::archiveTemplate>("archiveTEMPLATE_Text"),
        textField<site, &S::mainPageName>("edtMAINHTML_Text"),
        textField<site, &S::feedTemplate>("edtRSSTEMPLATE_Text"),
        textField<site, &S::feedName>("edtRSSFILE_Text"),
        textField<site, &S::textTemplate>("edtTXTTEMPLATE_Text"),
        textField<site, &S::textPageName>("edtTXTFILE_Text"),
        textField<content, &C::author>("edtAUTHOR_Text"),
        textField<content, &C::email>("edtEMAIL_Text"),
        textField<content, &C::longPostLink>("edtLONGPOSTSEPARATOR_Text"),
        // Markdown and UTF-8 came later: 4 and more is still "unformatted",
        // 3 and more still "iso-8859-2", as those numbers always read.
        choiceField<content, &C::paragraphs, 4, int(ParagraphMode::Unformatted)>(
            "rgPARAGRAPH_ItemIndex"),
        choiceField<content, &C::charset, 3, int(OutputCharset::Iso88592)>(
            "rgCHARSET_ItemIndex"),
        textField<site, &S::archiveFolder>("dirPATHARCHIVES_Text"),
        booleanField<server, &V::passive>("chkPASSIVE_Checked", true),
        booleanField<server, &V::tls>("chkFTPS_Checked", true),
        textField<server, &V::trustedFingerprint>("edtFINGERPRINT_Text", true),
        booleanField<server, &V::sftp>("chkSFTP_Checked", true),
        textField<content, &C::siteTitle>("edtSITETITLE_Text", true),
        booleanField<content, &C::spellCheck>("chkSPELL_Checked", true),
        textField<content, &C::spellLanguage>("cmbSPELLLANG_Text", true),
        // Where the project publishes: a number this version does not know
        // (from a newer one) reads as the server.
        {"rgTARGET_ItemIndex",
         [](const P &p) { return iniWriteInteger(static_cast<int>(p.server.target)); },
         [](P &p, const std::string &v) {
             const int n = iniReadInteger(v);
             p.server.target = n == 1 ? PublishTarget::Git
                 : n == 2             ? PublishTarget::S3
                                      : PublishTarget::Server;
         },
         [](P &p, const P &from) { p.server.target = from.server.target; }, true},
        textField<server, &V::gitUrl>("edtGITURL_Text", true),
        textField<server, &V::gitBranch>("edtGITBRANCH_Text", true),
        textField<server, &V::s3Endpoint>("edtS3ENDPOINT_Text", true),
        textField<server, &V::s3Region>("edtS3REGION_Text", true),
        textField<server, &V::s3Bucket>("edtS3BUCKET_Text", true),
        textField<server, &V::s3KeyId>("edtS3KEYID_Text", true),
    };
    return all;
}

} // namespace

namespace projectfile {

void read(const IniFile &ini, ProjectSettings &s)
{
    const ProjectSettings start;
    for (const Field &f : fields()) {
        if (const auto v = ini.value(kProjectSection, f.key))
            f.decode(s, *v);
        else if (f.startWhenMissing)
            f.copy(s, start);
    }
}

void write(const ProjectSettings &s, IniFile &ini)
{
    for (const Field &f : fields())
        ini.writeString(kProjectSection, f.key, f.encode(s));
}

bool tryLoad(const QString &path, ProjectSettings &settings)
{
    std::string bytes;
    if (!tryReadWholeFile(pathBytes(path), bytes))
        return false;
    IniFile ini(pathBytes(path));
    ini.parse(bytes);
    read(ini, settings);
    return true;
}

ProjectSettings load(const QString &path, const ProjectSettings &base)
{
    ProjectSettings s = base;
    if (!tryLoad(path, s))
        throw AppError(msgCannotOpenFile(pathBytes(path)));
    return s;
}

void save(const QString &path, const ProjectSettings &settings,
          const std::function<void(IniFile &)> &writePlacement)
{
    IniFile ini = IniFile::load(pathBytes(path));
    if (writePlacement)
        writePlacement(ini);
    write(settings, ini);
    ini.save();
}

void saveTrustedFingerprint(const QString &path, const QString &fingerprint)
{
    iniWriteString(pathBytes(path), kProjectSection, "edtFINGERPRINT_Text",
                   iniWriteText(encodeCp1250(fingerprint)));
}

} // namespace projectfile
} // namespace tl
