#pragma once
// The post tree widget shows what the store's walk gives: month nodes at the
// top level, post nodes beneath, in the order they are added.
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

namespace tl {

struct PostTreeWalk;

// Sets up the tree: one column, no header, labels not editable, no sorting.
void preparePostTree(QTreeWidget *tree);
// Clears the tree and fills it from the walk, every node collapsed.
void fillPostTree(QTreeWidget *tree, const PostTreeWalk &walk);

// The selected node, or nullptr.
QTreeWidgetItem *selectedNode(const QTreeWidget *tree);
// The node to select once `node` is removed, as a tree view picks it: the
// next sibling, else the previous one, else the parent; nullptr when none.
QTreeWidgetItem *nodeAfterRemoval(QTreeWidgetItem *node);
// True when the node's text names a post (isPostNodeText).
bool isPostNode(const QTreeWidgetItem *node);

} // namespace tl
