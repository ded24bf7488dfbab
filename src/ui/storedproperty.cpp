#include "ui/storedproperty.h"

#include <QComboBox>
#include <QListWidget>
#include <QSplitter>
#include <QWidget>

namespace tl::storedprop {

namespace {

PropType typeOf(const QMetaType &t)
{
    switch (t.id()) {
    case QMetaType::QString:
        return PropType::Text;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return PropType::Integer;
    case QMetaType::Bool:
        return PropType::Boolean;
    case QMetaType::QStringList:
        return PropType::Strings;
    default:
        return PropType::Unsupported;
    }
}

// Sets a widget's width (or height) so that it holds: inside a splitter by
// moving the splitter handle, for a fixed-size widget by fixing the new size,
// else by resizing.
void setWidgetExtent(QWidget *w, int value, bool width)
{
    if (auto *sp = qobject_cast<QSplitter *>(w->parentWidget())) {
        const bool along = (sp->orientation() == Qt::Horizontal) == width;
        int idx = sp->indexOf(w);
        if (along && idx >= 0) {
            QList<int> sizes = sp->sizes();
            if (idx < sizes.size()) {
                const int delta = value - sizes[idx];
                sizes[idx] = value;
                const int other = idx + 1 < sizes.size() ? idx + 1 : idx - 1;
                if (other >= 0)
                    sizes[other] = qMax(0, sizes[other] - delta);
                sp->setSizes(sizes);
                return;
            }
        }
    }
    if (width) {
        if (w->minimumWidth() == w->maximumWidth())
            w->setFixedWidth(value);
        else
            w->resize(value, w->height());
    } else {
        if (w->minimumHeight() == w->maximumHeight())
            w->setFixedHeight(value);
        else
            w->resize(w->width(), value);
    }
}

} // namespace

QObject *findComponent(QWidget *window, const QString &name)
{
    if (!window || name.isEmpty())
        return nullptr;
    const auto all = window->findChildren<QObject *>();
    for (QObject *o : all)
        if (o->objectName() == name)
            return o;
    for (QObject *o : all)
        if (o->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return o;
    return nullptr;
}

PropRef resolveProperty(QObject *obj, const QString &name)
{
    PropRef ref;
    ref.object = obj;
    if (!obj || name.isEmpty())
        return ref;
    const bool isItems = name.compare(QLatin1String("Items"), Qt::CaseInsensitive) == 0;
    if (isItems && qobject_cast<QListWidget *>(obj)) {
        ref.type = PropType::Strings;
        ref.access = Access::ListWidgetItems;
        ref.writable = true;
        return ref;
    }
    if (isItems && qobject_cast<QComboBox *>(obj)) {
        ref.type = PropType::Strings;
        ref.access = Access::ComboItems;
        ref.writable = true;
        return ref;
    }

    // The declared spelling first, then any spelling; a writable property
    // wins over a read-only one of the same name.
    const QMetaObject *mo = obj->metaObject();
    int found = mo->indexOfProperty(name.toLatin1().constData());
    if (found < 0 || !mo->property(found).isWritable()) {
        for (int i = 0; i < mo->propertyCount(); ++i) {
            QMetaProperty p = mo->property(i);
            if (QString::fromLatin1(p.name()).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            if (found < 0 || (p.isWritable() && !mo->property(found).isWritable()))
                found = i;
        }
    }
    if (found < 0)
        return ref;
    ref.meta = mo->property(found);
    ref.type = typeOf(ref.meta.metaType());
    ref.writable = ref.meta.isWritable();
    if (!ref.writable && qobject_cast<QWidget *>(obj)) {
        const QString n = QString::fromLatin1(ref.meta.name());
        if (n == QLatin1String("width")) {
            ref.access = Access::WidgetWidth;
            ref.writable = true;
        } else if (n == QLatin1String("height")) {
            ref.access = Access::WidgetHeight;
            ref.writable = true;
        }
    }
    return ref;
}

QVariant readValue(const PropRef &ref)
{
    switch (ref.access) {
    case Access::ListWidgetItems: {
        auto *lw = static_cast<QListWidget *>(ref.object);
        QStringList items;
        for (int i = 0; i < lw->count(); ++i)
            items << lw->item(i)->text();
        return items;
    }
    case Access::ComboItems: {
        auto *cb = static_cast<QComboBox *>(ref.object);
        QStringList items;
        for (int i = 0; i < cb->count(); ++i)
            items << cb->itemText(i);
        return items;
    }
    case Access::WidgetWidth:
        return static_cast<QWidget *>(ref.object)->width();
    case Access::WidgetHeight:
        return static_cast<QWidget *>(ref.object)->height();
    case Access::Meta:
        break;
    }
    return ref.meta.read(ref.object);
}

void writeValue(const PropRef &ref, const QVariant &v)
{
    switch (ref.access) {
    case Access::ListWidgetItems: {
        auto *lw = static_cast<QListWidget *>(ref.object);
        lw->clear();
        lw->addItems(v.toStringList());
        return;
    }
    case Access::ComboItems: {
        auto *cb = static_cast<QComboBox *>(ref.object);
        const QString text = cb->currentText();
        cb->clear();
        cb->addItems(v.toStringList());
        if (cb->isEditable())
            cb->setEditText(text);
        return;
    }
    case Access::WidgetWidth:
        setWidgetExtent(static_cast<QWidget *>(ref.object), v.toInt(), true);
        return;
    case Access::WidgetHeight:
        setWidgetExtent(static_cast<QWidget *>(ref.object), v.toInt(), false);
        return;
    case Access::Meta:
        break;
    }
    QVariant converted = v;
    if (converted.metaType() != ref.meta.metaType())
        converted.convert(ref.meta.metaType());
    ref.meta.write(ref.object, converted);
}

Entry splitEntry(const QString &entry)
{
    const qsizetype dot = entry.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return { entry.trimmed(), QString() };
    return { entry.left(dot).trimmed(), entry.mid(dot + 1).trimmed() };
}

} // namespace tl::storedprop
