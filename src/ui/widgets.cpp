#include "ui/widgets.h"

#include "core/projects.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tl {

RadioGroup::RadioGroup(const QString &title, const QStringList &items, QWidget *parent,
                       Qt::Orientation orientation)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)), count_(items.size())
{
    QBoxLayout *layout = orientation == Qt::Vertical ? static_cast<QBoxLayout *>(new QVBoxLayout(this))
                                                     : new QHBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto *rb = new QRadioButton(items[i], this);
        group_->addButton(rb, i);
        layout->addWidget(rb);
    }
    layout->addStretch(1);
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            emit itemIndexChanged(id);
    });
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

int RadioGroup::count() const { return count_; }

void RadioGroup::setItemIndex(int index)
{
    if (index < -1)
        index = -1;
    if (index >= count_)
        index = beyondLast_ >= -1 && beyondLast_ < count_ ? beyondLast_ : count_ - 1;
    if (index == -1) {
        group_->setExclusive(false);
        for (auto *b : group_->buttons())
            b->setChecked(false);
        group_->setExclusive(true);
        emit itemIndexChanged(-1);
        return;
    }
    group_->button(index)->setChecked(true);
}

PathEdit::PathEdit(Mode mode, QWidget *parent)
    : QWidget(parent), mode_(mode), edit_(new QLineEdit(this)), button_(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    button_->setText("...");
    button_->setToolTip(mode == Folder ? tr("Choose folder") : tr("Choose file"));
    layout->addWidget(edit_, 1);
    layout->addWidget(button_);
    connect(button_, &QToolButton::clicked, this, [this] { emit browseRequested(this); });
    connect(edit_, &QLineEdit::textChanged, this, &PathEdit::textChanged);
    setFocusProxy(edit_);
}

QString PathEdit::text() const { return edit_->text(); }
void PathEdit::setText(const QString &t) { edit_->setText(t); }

ComboBox::ComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void ComboBox::setText(const QString &t) { setEditText(t); }

void ComboBox::addSorted(const QString &item)
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << itemText(i);
    const QString keep = currentText();
    insertItem(sortedInsertPosition(items, item), item);
    setEditText(keep);
}

} // namespace tl
