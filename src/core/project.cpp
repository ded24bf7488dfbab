#include "core/project.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "core/ini.h"
#include "core/inivalue.h"
#include "core/programfiles.h"

#include <algorithm>
#include <cstring>

namespace tl {

namespace {

using K = ProjectField::Kind;

std::vector<ProjectField> makeFields()
{
    return {
        {"pathMAIN", "Text", K::Text, ""},
        {"pathCONF", "Text", K::Text, ""},
        {"pathDATA", "Text", K::Text, ""},
        {"pnlLEVY", "Width", K::Integer, "161"},
        {"edtFTPADDRESS", "Text", K::Text, ""},
        {"edtUSER", "Text", K::Text, ""},
        {"edtFIREWALL", "Text", K::Text, ""},
        {"edtPORT", "Text", K::Text, ""},
        {"rPATHMAIN", "Text", K::Text, ""},
        {"chkPROXY", "Checked", K::Boolean, "False"},
        {"edtNOTE", "Text", K::Text, ""},
        {"rDATAPATH", "Text", K::Text, ""},
        {"edtMAINURI", "Text", K::Text, "http://"},
        {"edtCOUNT", "Text", K::Text, "10"},
        {"fileTEMPLATE", "Text", K::Text, ""},
        {"archiveTEMPLATE", "Text", K::Text, ""},
        {"edtMAINHTML", "Text", K::Text, "index.html"},
        {"edtRSSTEMPLATE", "Text", K::Text, ""},
        {"edtRSSFILE", "Text", K::Text, "rss.xml"},
        {"edtTXTTEMPLATE", "Text", K::Text, ""},
        {"edtTXTFILE", "Text", K::Text, "text.htm"},
        {"edtAUTHOR", "Text", K::Text, ""},
        {"edtEMAIL", "Text", K::Text, ""},
        {"edtLONGPOSTSEPARATOR", "Text", K::Text, "Continue..."},
        {"rgPARAGRAPH", "ItemIndex", K::Integer, "0", 3},
        {"rgCHARSET", "ItemIndex", K::Integer, "0", 2},
        {"dirPATHARCHIVES", "Text", K::Text, ""},
        // Added later: a project file without them takes their start values
        // rather than those of the project loaded before (which could name
        // another protocol or another server's certificate).
        {"chkPASSIVE", "Checked", K::Boolean, "True", 0, true},
        {"chkFTPS", "Checked", K::Boolean, "False", 0, true},
        {"edtFINGERPRINT", "Text", K::Text, "", 0, true},
        {"chkSFTP", "Checked", K::Boolean, "False", 0, true},
        {"edtSITETITLE", "Text", K::Text, "My weblog", 0, true},
    };
}

int clampChoice(int value, int choices)
{
    if (choices <= 0)
        return value;
    return std::clamp(value, -1, choices - 1);
}

} // namespace

std::string ProjectField::key() const { return std::string(component) + "_" + property; }

QString ProjectField::storageEntry() const
{
    return QString::fromLatin1(component) + QLatin1Char('.') + QString::fromLatin1(property);
}

const std::vector<ProjectField> &projectFields()
{
    static const std::vector<ProjectField> fields = makeFields();
    return fields;
}

const ProjectField *findProjectField(const char *component)
{
    for (const ProjectField &f : projectFields())
        if (std::strcmp(f.component, component) == 0)
            return &f;
    return nullptr;
}

Project::Project()
{
    for (const ProjectField &f : projectFields())
        values_.push_back(QString::fromLatin1(f.startValue));
}

std::size_t Project::indexOf(const char *component) const
{
    const ProjectField *f = findProjectField(component);
    if (!f)
        throw std::logic_error(std::string("no project field ") + component);
    return static_cast<std::size_t>(f - projectFields().data());
}

QString Project::text(const char *component) const { return values_[indexOf(component)]; }

int Project::integer(const char *component) const
{
    return values_[indexOf(component)].toInt();
}

bool Project::checked(const char *component) const
{
    return values_[indexOf(component)] == QLatin1String("True");
}

void Project::setText(const char *component, const QString &value)
{
    values_[indexOf(component)] = value;
}

void Project::setInteger(const char *component, int value)
{
    const std::size_t i = indexOf(component);
    values_[i] = QString::number(clampChoice(value, projectFields()[i].choices));
}

void Project::setChecked(const char *component, bool value)
{
    values_[indexOf(component)] = QLatin1String(value ? "True" : "False");
}

void Project::readFrom(const IniFile &ini)
{
    const auto &fields = projectFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ProjectField &f = fields[i];
        const auto v = ini.value(kProjectSection, f.key());
        if (!v) {
            if (f.startWhenMissing)
                values_[i] = QString::fromLatin1(f.startValue);
            continue;
        }
        switch (f.kind) {
        case K::Text:
            values_[i] = decodeCp1250(iniReadText(*v));
            break;
        case K::Integer:
            values_[i] = QString::number(clampChoice(iniReadInteger(*v), f.choices));
            break;
        case K::Boolean:
            if (const auto b = iniReadBoolean(*v))
                values_[i] = QLatin1String(*b ? "True" : "False");
            break;
        }
    }
}

void Project::writeTo(IniFile &ini) const
{
    const auto &fields = projectFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ProjectField &f = fields[i];
        std::string v;
        switch (f.kind) {
        case K::Text:
            v = iniWriteText(encodeCp1250(values_[i]));
            break;
        case K::Integer:
            v = iniWriteInteger(values_[i].toLongLong());
            break;
        case K::Boolean:
            v = iniWriteBoolean(values_[i] == QLatin1String("True"));
            break;
        }
        ini.writeString(kProjectSection, f.key(), v);
    }
}

Project Project::load(const QString &path)
{
    std::string bytes;
    if (!tryReadWholeFile(pathBytes(path), bytes))
        throw AppError(msgCannotOpenFile(pathBytes(path)));
    IniFile ini(pathBytes(path));
    ini.parse(bytes);
    Project p;
    p.readFrom(ini);
    return p;
}

void Project::save(const QString &path) const
{
    IniFile ini = IniFile::load(pathBytes(path));
    writeTo(ini);
    ini.save();
}

} // namespace tl
