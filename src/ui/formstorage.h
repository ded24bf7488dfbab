#pragma once
// Form storage: saves a window's placement and a list of its controls'
// properties into one section of an INI file, and restores them.
//
// Keys: the placement keys ("Flags", "ShowCmd", "PixelsPerInch",
// "MinMaxPos(WxH)", "MinMaxPos", "NormPos(WxH)", "NormPos", "Visible"), then
// one key per stored property, named component + "_" + property as written in
// StoredProps ("pathMAIN_Text"). A list-of-strings property has a section of
// its own, section + "." + key, holding "Count" and "Item0", "Item1", ...
//
// Several storages on one window form a chain in the order they were
// constructed (declared); the later one wraps the earlier:
//  - window shown: the latest storage restores first, then the earlier ones,
//    then the window's own show handling;
//  - window closing: the window's own close handling first; if the close is
//    still accepted, the earliest storage saves first, then the later ones;
//  - window destroyed: the latest storage saves first (only if not saved
//    since its last restore).
// The chain runs either automatically (install() puts an event filter on the
// window) or from the window's own handlers through windowShown(),
// windowClosing() and windowDestroying(). A window uses one way, not both.
// For a dialog, being hidden by done() (OK, Cancel, Escape) counts as
// closing, since it ends the dialog without a close event.
// Destruction is seen automatically only for a window deleted through
// deleteLater(); a window deleted directly calls windowDestroying(this) at
// the start of its destructor, while its controls still exist.
#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <string>

class QWidget;

namespace tl {

class IniFile;

class FormStorage : public QObject {
    Q_OBJECT
public:
    enum Option { fpState = 0x1, fpPosition = 0x2, fpActiveControl = 0x4 };
    Q_DECLARE_FLAGS(Options, Option)

    // Reports a failure of an automatic save; closing goes on afterwards.
    using ErrorHandler = std::function<void(const QString &message)>;

    explicit FormStorage(QWidget *window, QObject *parent = nullptr);
    ~FormStorage() override;

    QString IniFileName() const { return iniFileName_; }
    void setIniFileName(const QString &path) { iniFileName_ = path; }
    void setIniFileName(const std::string &path);

    // The section in use: the one set, or the window's class name when none.
    QString IniSection() const;
    void setIniSection(const QString &section) { iniSection_ = section; }
    // The class name that names the section when none is set ("TForm1").
    // Without it the window's C++ class name is used, namespace removed.
    void setWindowClassName(const QString &name) { windowClassName_ = name; }

    bool Active() const { return active_; }
    void setActive(bool active) { active_ = active; }

    Options options() const { return options_; }
    void setOptions(Options o) { options_ = o; }

    QStringList StoredProps() const { return storedProps_; }
    void setStoredProps(const QStringList &props) { storedProps_ = props; }
    // A list section whose "Count" exceeds this is taken as damaged and left
    // unread (the list keeps its lines).
    void setMaxListLines(int lines) { maxListLines_ = lines; }

    bool restored() const { return restored_; }
    bool saved() const { return saved_; }

    // Reads the placement (as far as options() asks) and every stored
    // property from the file. Never fails: what cannot be read stays.
    void RestoreStored();
    // Writes the placement and every stored property in one file write.
    // An active storage that has never restored writes nothing. Throws
    // AppError("Unable to write to %s") when the file cannot be written.
    void SaveStored();

    // Removes StoredProps entries whose component the window lacks and lets
    // the window's show, close and deferred deletion run the chain by
    // themselves (see above).
    void install();

    // This storage's part of each trigger.
    void handleShow();           // restores if active
    void handleCloseAccepted();  // saves if active and the window is native
    void handleDestroy();        // saves if active and not saved since restore

    // The whole chain of the storages on `window`, in the order described.
    static void windowShown(QWidget *window);
    static void windowClosing(QWidget *window);
    static void windowDestroying(QWidget *window);

    void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

    // Writes the window's placement keys into this storage's section of
    // `ini`, as every save does first (a project file holds them too).
    void writePlacement(IniFile &ini) const;

    // The value of one stored-property entry ("pathMAIN.Text") of a window's
    // control, by the same lookup the storage uses; invalid when there is no
    // such control or property. Setting it converts to the property's type.
    static QVariant propertyValue(QWidget *window, const QString &entry);
    static void setPropertyValue(QWidget *window, const QString &entry, const QVariant &value);

private:
    void reportError(const QString &message) const;
    std::string sectionBytes() const;
    void readPlacement(const IniFile &ini);
    void writeProperty(IniFile &ini, const QString &entry) const;
    void readProperty(const IniFile &ini, const QString &entry);

    QPointer<QWidget> window_;
    QString iniFileName_;
    QString iniSection_;
    QString windowClassName_;
    bool active_ = true;
    Options options_ = Options(fpState) | fpPosition;
    QStringList storedProps_;
    int maxListLines_ = 100000;
    bool restored_ = false;
    bool saved_ = false;
    bool destroying_ = false;
    ErrorHandler errorHandler_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FormStorage::Options)

} // namespace tl
