#pragma once
// A project's fields without a window: the one definition of what a project
// file (settings folder + "conf/" + name + ".tvp") holds, shared by the main
// window's project storage, the command line and the tests.
//
// The file has one section, "TForm1". The window also writes its placement
// keys there; the fields follow in the order of projectFields(), each under
// the key component + "_" + property ("pathMAIN_Text"), in the value
// encodings of inivalue.h. Reading a file sets the fields it holds; a field
// whose key is missing keeps its value, except the fields marked
// `startWhenMissing`, which take their start value (fields added later, whose
// absence means "a project from before they existed").
#include <QString>
#include <string>
#include <vector>

namespace tl {

class IniFile;

// The section of a project file.
inline constexpr const char *kProjectSection = "TForm1";

struct ProjectField {
    enum class Kind { Text, Integer, Boolean };
    const char *component; // the control's object name: "pathMAIN"
    const char *property;  // "Text", "Width", "Checked", "ItemIndex"
    Kind kind;
    const char *startValue; // as text: "", "161", "True", "http://"
    // Integer choices (radio groups): a value is clamped to -1 .. choices-1.
    int choices = 0;
    bool startWhenMissing = false;

    std::string key() const; // "pathMAIN_Text"
    // "pathMAIN.Text", the form storage's entry for the field's control.
    QString storageEntry() const;
};

// Every project field, in file order.
const std::vector<ProjectField> &projectFields();
// The field of a control, or nullptr.
const ProjectField *findProjectField(const char *component);

class Project {
public:
    // Every field at its start value.
    Project();

    // The value of a field, by its control's object name. Text values are
    // the text as the window shows it; integers and Booleans are converted.
    // Asking for a name that is no field is a programming error (throws).
    QString text(const char *component) const;
    int integer(const char *component) const;
    bool checked(const char *component) const;
    void setText(const char *component, const QString &value);
    void setInteger(const char *component, int value);
    void setChecked(const char *component, bool value);

    // Reads the fields the document holds (section "TForm1").
    void readFrom(const IniFile &ini);
    // Writes every field in order into the document.
    void writeTo(IniFile &ini) const;

    // Loads a project file over the start values. Throws AppError("Cannot
    // open file %s") when the file does not exist or cannot be read.
    static Project load(const QString &path);
    // Writes every field into the file, key by key, keeping whatever else it
    // holds. Throws AppError("Unable to write to %s").
    void save(const QString &path) const;

    bool operator==(const Project &other) const = default;

private:
    std::size_t indexOf(const char *component) const;
    std::vector<QString> values_; // one per field, in projectFields() order
};

} // namespace tl
