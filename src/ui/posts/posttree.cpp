#include "ui/posts/posttree.h"

#include "core/cp1250.h"
#include "core/programfiles.h"
#include "posts/postfile.h"
#include "posts/postindex.h"
#include "posts/poststore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>

#include <algorithm>
#include <QTreeWidget>

namespace tl {

static_assert(kNodeNameRole == Qt::UserRole);

namespace {

// Month nodes whose posts show their titles carry this flag.
constexpr int kTitlesShownRole = Qt::UserRole + 2;
// A month's posts have the slots first, first + 1, ... first + count - 1.
constexpr int kFirstSlotRole = Qt::UserRole + 3;
constexpr int kSlotCountRole = Qt::UserRole + 4;
// The posts a month has now (its slots less those deleted since Read).
constexpr int kPostCountRole = Qt::UserRole + 5;
// A month's post file names until its post nodes are made, one per line, and
// whether they are made.
constexpr int kMonthPostsRole = Qt::UserRole + 6;
constexpr int kFilledRole = Qt::UserRole + 7;

QIcon postIcon(const QTreeWidget *tree)
{
    QStyle *st = tree && tree->style() ? tree->style() : QApplication::style();
    return st->standardIcon(QStyle::SP_FileIcon); // image 0
}

const char *const kMonthNames[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};

} // namespace

namespace {

class KeyUpFilter : public QObject {
public:
    KeyUpFilter(QObject *parent, std::function<void(int)> onKeyUp)
        : QObject(parent), onKeyUp_(std::move(onKeyUp))
    {
    }
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::KeyRelease) {
            auto *k = static_cast<QKeyEvent *>(e);
            if (!k->isAutoRepeat())
                onKeyUp_(k->key());
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void(int)> onKeyUp_;
};

} // namespace

void onKeyReleased(QTreeWidget *tree, std::function<void(int key)> onKeyUp)
{
    tree->installEventFilter(new KeyUpFilter(tree, std::move(onKeyUp)));
}

void preparePostTree(QTreeWidget *tree)
{
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSortingEnabled(false);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setUniformRowHeights(true);
}

QString monthNodeText(const std::string &monthKey, int posts)
{
    // "YYYY-MM"; a key of another form is shown as it is.
    const QString key = QString::fromLatin1(monthKey.c_str());
    const int dash = key.indexOf(QLatin1Char('-'));
    bool yearOk = false, monthOk = false;
    const int year = key.left(dash).toInt(&yearOk);
    const int month = key.mid(dash + 1).toInt(&monthOk);
    const QString count = QStringLiteral(" (%1)").arg(posts);
    if (dash < 0 || !yearOk || !monthOk || month < 1 || month > 12)
        return key + count;
    return QString::fromLatin1(kMonthNames[month - 1]) + QLatin1Char(' ') + QString::number(year)
        + count;
}

QString postNodeText(const std::string &postName, const std::string &title)
{
    const QString time =
        QString::fromLatin1(timeText(civilFromSeconds(postTimeOfName(postName))).c_str());
    if (title.empty())
        return time;
    return time + QStringLiteral("  ") + decodeCp1250(title);
}

void fillPostTree(QTreeWidget *tree, const PostTreeWalk &walk)
{
    QStyle *st = tree->style() ? tree->style() : QApplication::style();
    const QIcon monthIcon = st->standardIcon(QStyle::SP_DirIcon); // image 1

    tree->setUpdatesEnabled(false);
    tree->clear();
    QList<QTreeWidgetItem *> months;
    months.reserve(static_cast<qsizetype>(walk.months.size()));
    int slot = 0;
    for (const MonthGroup &g : walk.months) {
        const QString key = QString::fromLatin1(g.key.c_str());
        auto *month = new QTreeWidgetItem(
            QStringList(monthNodeText(g.key, static_cast<int>(g.posts.size()))));
        month->setData(0, kNodeNameRole, key);
        month->setToolTip(0, key);
        month->setIcon(0, monthIcon);
        month->setData(0, kFirstSlotRole, slot);
        month->setData(0, kSlotCountRole, static_cast<int>(g.posts.size()));
        month->setData(0, kPostCountRole, static_cast<int>(g.posts.size()));
        // The posts' nodes are made when the month is first opened (or a
        // post of it is looked for): a blog of 100,000 posts opens with its
        // 240 months alone.
        QByteArray names;
        for (const std::string &p : g.posts) {
            names.append(p.data(), static_cast<qsizetype>(p.size()));
            names.append('\n');
        }
        month->setData(0, kMonthPostsRole, names);
        month->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        slot += static_cast<int>(g.posts.size());
        months.append(month);
    }
    tree->addTopLevelItems(months);
    tree->setUpdatesEnabled(true);
}

std::vector<std::string> walkPostNames(const PostTreeWalk &walk)
{
    std::vector<std::string> names;
    for (const MonthGroup &g : walk.months)
        names.insert(names.end(), g.posts.begin(), g.posts.end());
    return names;
}

QString nodeName(const QTreeWidgetItem *node)
{
    return node ? node->data(0, kNodeNameRole).toString() : QString();
}

int nodeSlot(const QTreeWidgetItem *node)
{
    if (!node)
        return -1;
    const QVariant v = node->data(0, kNodeSlotRole);
    return v.isValid() ? v.toInt() : -1;
}

void refreshPostTitle(QTreeWidgetItem *post, PostIndex &index)
{
    const int slot = nodeSlot(post);
    if (slot < 0 || static_cast<std::size_t>(slot) >= index.size())
        return;
    post->setText(0, postNodeText(index.name(static_cast<std::size_t>(slot)),
                                  index.title(static_cast<std::size_t>(slot))));
}

void fillMonthPosts(QTreeWidgetItem *month)
{
    if (!month || month->parent() || month->data(0, kFilledRole).toBool())
        return;
    month->setData(0, kFilledRole, true);
    const QByteArray names = month->data(0, kMonthPostsRole).toByteArray();
    month->setData(0, kMonthPostsRole, QVariant());
    const QIcon icon = postIcon(month->treeWidget());
    int slot = month->data(0, kFirstSlotRole).toInt();
    QList<QTreeWidgetItem *> posts;
    qsizetype from = 0;
    while (from < names.size()) {
        const qsizetype end = names.indexOf('\n', from);
        const std::string p(names.constData() + from, static_cast<std::size_t>(end - from));
        from = end + 1;
        const QString name = pathText(p);
        auto *post = new QTreeWidgetItem(QStringList(postNodeText(p, std::string())));
        post->setData(0, kNodeNameRole, name);
        post->setData(0, kNodeSlotRole, slot++);
        post->setToolTip(0, name);
        post->setIcon(0, icon);
        posts.append(post);
    }
    month->addChildren(posts);
    // A month whose posts are all deleted shows no opener.
    month->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void showPostTitles(QTreeWidgetItem *month, PostIndex &index)
{
    if (!month || month->parent() || month->data(0, kTitlesShownRole).toBool())
        return;
    fillMonthPosts(month);
    month->setData(0, kTitlesShownRole, true);
    for (int i = 0; i < month->childCount(); ++i)
        refreshPostTitle(month->child(i), index);
}

namespace {

// How many of a month's posts the flags show.
int matchesInMonth(const QTreeWidgetItem *month, const std::vector<char> &shown)
{
    const int first = std::max(month->data(0, kFirstSlotRole).toInt(), 0);
    const int last = std::min(first + month->data(0, kSlotCountRole).toInt(),
                              static_cast<int>(shown.size()));
    int n = 0;
    for (int k = first; k < last; ++k)
        n += shown[static_cast<std::size_t>(k)] ? 1 : 0;
    return n;
}

// "December 2026 (3 of 12)": the posts a find shows of those the month has.
QString filteredMonthText(const QTreeWidgetItem *month, int shown)
{
    const int all = month->data(0, kPostCountRole).toInt();
    return monthNodeText(pathBytes(nodeName(month)), all)
        .replace(QStringLiteral("(%1)").arg(all), QStringLiteral("(%1 of %2)").arg(shown).arg(all));
}

// Every change costs the view some work: only changes are made.
void setShown(QTreeWidgetItem *node, bool show)
{
    if (node->isHidden() == show)
        node->setHidden(!show);
}

} // namespace

void filterMonthPosts(QTreeWidgetItem *month, const std::vector<char> &shown)
{
    if (!month || month->parent() || shown.empty())
        return;
    for (int j = 0; j < month->childCount(); ++j) {
        QTreeWidgetItem *post = month->child(j);
        const int slot = nodeSlot(post);
        setShown(post, slot >= 0 && static_cast<std::size_t>(slot) < shown.size()
                           && shown[static_cast<std::size_t>(slot)]);
    }
}

int filterPostTree(QTreeWidget *tree, const std::vector<char> &shown, int openMonthsUpTo)
{
    tree->setUpdatesEnabled(false);
    int count = 0, months = 0;
    std::vector<int> inMonth(static_cast<std::size_t>(tree->topLevelItemCount()));
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        inMonth[static_cast<std::size_t>(i)] = matchesInMonth(tree->topLevelItem(i), shown);
        count += inMonth[static_cast<std::size_t>(i)];
        months += inMonth[static_cast<std::size_t>(i)] > 0 ? 1 : 0;
    }
    const bool open = months <= openMonthsUpTo;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *month = tree->topLevelItem(i);
        const int n = inMonth[static_cast<std::size_t>(i)];
        month->setText(0, filteredMonthText(month, n));
        setShown(month, n > 0);
        // The posts of a month without a match stay as they are until it is
        // shown again; those of a closed month are set when it is opened.
        if (n == 0)
            continue;
        if (open && !month->isExpanded())
            month->setExpanded(true); // the window then sets its posts
        else if (month->isExpanded())
            filterMonthPosts(month, shown);
    }
    tree->setUpdatesEnabled(true);
    return count;
}

void unfilterPostTree(QTreeWidget *tree, QTreeWidgetItem *keep)
{
    tree->setUpdatesEnabled(false);
    QTreeWidgetItem *keepMonth = keep ? (keep->parent() ? keep->parent() : keep) : nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *month = tree->topLevelItem(i);
        month->setText(0, monthNodeText(pathBytes(nodeName(month)),
                                        month->data(0, kPostCountRole).toInt()));
        for (int j = 0; j < month->childCount(); ++j)
            setShown(month->child(j), true);
        setShown(month, true);
        const bool open = keep && keep->parent() && month == keepMonth;
        if (month->isExpanded() != open)
            month->setExpanded(open);
    }
    tree->setUpdatesEnabled(true);
    if (keep)
        tree->scrollToItem(keep);
}

void removePostNode(QTreeWidgetItem *post, const std::vector<char> &shown)
{
    QTreeWidgetItem *month = post->parent();
    delete post;
    if (!month)
        return;
    const int left = month->data(0, kPostCountRole).toInt() - 1;
    month->setData(0, kPostCountRole, left);
    month->setText(0, shown.empty() ? monthNodeText(pathBytes(nodeName(month)), left)
                                    : filteredMonthText(month, matchesInMonth(month, shown)));
}

bool isNodeShown(const QTreeWidgetItem *node, const std::vector<char> &shown)
{
    if (!node)
        return false;
    const QTreeWidgetItem *month = node->parent();
    if (!month)
        return !node->isHidden();
    if (month->isHidden())
        return false;
    if (shown.empty())
        return !node->isHidden();
    // The posts of a closed month may not be sorted out yet: the flags say.
    const int slot = nodeSlot(node);
    return slot >= 0 && static_cast<std::size_t>(slot) < shown.size()
        && shown[static_cast<std::size_t>(slot)];
}

QTreeWidgetItem *selectedNode(const QTreeWidget *tree)
{
    const QList<QTreeWidgetItem *> sel = tree->selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

QTreeWidgetItem *nodeAfterRemoval(QTreeWidgetItem *node)
{
    QTreeWidgetItem *parent = node->parent();
    QTreeWidget *tree = node->treeWidget();
    const int count = parent ? parent->childCount() : (tree ? tree->topLevelItemCount() : 0);
    const int index = parent ? parent->indexOfChild(node)
                             : (tree ? tree->indexOfTopLevelItem(node) : -1);
    auto at = [&](int i) { return parent ? parent->child(i) : tree->topLevelItem(i); };
    if (index < 0)
        return parent;
    // A node hidden by the find box is never the one selected next.
    for (int i = index + 1; i < count; ++i)
        if (!at(i)->isHidden())
            return at(i);
    for (int i = index - 1; i >= 0; --i)
        if (!at(i)->isHidden())
            return at(i);
    return parent;
}

bool isPostNode(const QTreeWidgetItem *node)
{
    return node && isPostNodeText(pathBytes(nodeName(node)));
}

QTreeWidgetItem *findNode(const QTreeWidget *tree, const QString &name)
{
    const QByteArray line = pathBytes(name).c_str() + QByteArray("\n");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *month = tree->topLevelItem(i);
        if (nodeName(month) == name)
            return month;
        // A month not opened yet holds the post if its names do.
        if (!month->data(0, kFilledRole).toBool()) {
            const QByteArray names = month->data(0, kMonthPostsRole).toByteArray();
            const qsizetype at = names.indexOf(line);
            if (at < 0 || (at > 0 && names[at - 1] != '\n'))
                continue;
            fillMonthPosts(month);
        }
        for (int j = 0; j < month->childCount(); ++j)
            if (nodeName(month->child(j)) == name)
                return month->child(j);
    }
    return nullptr;
}

} // namespace tl
