#include "posts/ui/posttree.h"

#include "app/core/programfiles.h"
#include "posts/poststore.h"

#include <QApplication>
#include <QStyle>
#include <QTreeWidget>

namespace tl {

void preparePostTree(QTreeWidget *tree)
{
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSortingEnabled(false);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setUniformRowHeights(true);
}

void fillPostTree(QTreeWidget *tree, const PostTreeWalk &walk)
{
    QStyle *st = tree->style() ? tree->style() : QApplication::style();
    const QIcon monthIcon = st->standardIcon(QStyle::SP_DirIcon); // image 1
    const QIcon postIcon = st->standardIcon(QStyle::SP_FileIcon); // image 0

    tree->setUpdatesEnabled(false);
    tree->clear();
    QList<QTreeWidgetItem *> months;
    months.reserve(static_cast<qsizetype>(walk.months.size()));
    for (const MonthGroup &g : walk.months) {
        auto *month = new QTreeWidgetItem(QStringList(QString::fromLatin1(g.key.c_str())));
        month->setIcon(0, monthIcon);
        QList<QTreeWidgetItem *> posts;
        posts.reserve(static_cast<qsizetype>(g.posts.size()));
        for (const std::string &p : g.posts) {
            auto *post = new QTreeWidgetItem(QStringList(pathText(p)));
            post->setIcon(0, postIcon);
            posts.append(post);
        }
        month->addChildren(posts);
        months.append(month);
    }
    tree->addTopLevelItems(months);
    tree->setUpdatesEnabled(true);
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
    if (index >= 0 && index + 1 < count)
        return at(index + 1);
    if (index > 0)
        return at(index - 1);
    return parent;
}

bool isPostNode(const QTreeWidgetItem *node)
{
    return node && isPostNodeText(pathBytes(node->text(0)));
}

} // namespace tl
