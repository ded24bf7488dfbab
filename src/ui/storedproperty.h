#pragma once
// The properties a form storage keeps, found by a component's object name
// and a property name ("pathMAIN.Text", "lstZNACKY.Items"), read and
// written as the types the settings file knows.
#include <QMetaProperty>
#include <QString>
#include <QVariant>

class QObject;
class QWidget;

namespace tl::storedprop {

// The value types the settings file knows.
enum class PropType { Unsupported, Text, Integer, Boolean, Strings };

enum class Access {
    Meta, // a Qt property
    ListWidgetItems, // the items of a list widget
    ComboItems, // the items of a combo box
    WidgetWidth, // QWidget's read-only "width"
    WidgetHeight, // QWidget's read-only "height"
};

// A property found: where it is and how it is read and written.
struct PropRef {
    QObject *object = nullptr;
    PropType type = PropType::Unsupported;
    Access access = Access::Meta;
    QMetaProperty meta;
    bool writable = false;
};

// A stored-property entry split at its first ".".
struct Entry {
    QString component;
    QString property;
};

// The component of `window` with that object name (exact, else without
// regard to letter case), or nullptr.
QObject *findComponent(QWidget *window, const QString &name);
// The property `name` of `obj` as the file knows it (Unsupported when it
// has no such property of a known type).
PropRef resolveProperty(QObject *obj, const QString &name);
QVariant readValue(const PropRef &ref);
void writeValue(const PropRef &ref, const QVariant &v);
// "component.property", both parts trimmed.
Entry splitEntry(const QString &entry);

} // namespace tl::storedprop
