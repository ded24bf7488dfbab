#pragma once
// The post tree widget shows what the store's walk gives: month nodes at the
// top level, post nodes beneath, in the order they are added.
//
// A node's text is for the writer: "December 2026 (12)" for a month, the time
// and the title ("14:05  Title") for a post. Its identity is kept apart, in
// the node's data and its tooltip: the month key ("2026-12") or the post's
// file name ("1796761860.txt"). Whatever works on nodes (preview, Edit,
// Delete, generation) goes by the identity, never by the text.
#include <QString>

#include <functional>

#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace tl {

struct PostTreeWalk;
class PostIndex;

// Node data roles: the identity of every node, and a post node's slot in the
// post index.
constexpr int kNodeNameRole = 0x0100;     // Qt::UserRole
constexpr int kNodeSlotRole = 0x0100 + 1; // Qt::UserRole + 1

// Sets up the tree: one column, no header, labels not editable, no sorting.
void preparePostTree(QTreeWidget *tree);
// Calls `onKeyUp` with the key of every key released in the tree (auto
// repeats left out).
void onKeyReleased(QTreeWidget *tree, std::function<void(int key)> onKeyUp);
// Clears the tree and fills it from the walk with its months, every one
// collapsed. A month's post nodes are made when it is first opened or one of
// its posts is looked for (fillMonthPosts); they get their slots in walk
// order (see walkPostNames) and show their time until their titles are shown.
void fillPostTree(QTreeWidget *tree, const PostTreeWalk &walk);
// Makes a month's post nodes, if they are not made yet.
void fillMonthPosts(QTreeWidgetItem *month);
// The post file names of the walk in its order: slot i is the i-th name.
std::vector<std::string> walkPostNames(const PostTreeWalk &walk);

// The identity of a node ("" for none).
QString nodeName(const QTreeWidgetItem *node);
// The node's slot in the post index, -1 for a month node.
int nodeSlot(const QTreeWidgetItem *node);
// "December 2026 (12)": the month's name and year and its post count.
QString monthNodeText(const std::string &monthKey, int posts);
// "14:05  Title": the post's time and its title (windows-1250 bytes).
QString postNodeText(const std::string &postName, const std::string &title);

// Puts the titles of a month's posts into their nodes (once; they are read
// through the index when the month is first opened), its nodes made first.
void showPostTitles(QTreeWidgetItem *month, PostIndex &index);
// Shows the title of one post node again (after its file changed).
void refreshPostTitle(QTreeWidgetItem *post, PostIndex &index);

// Filters the tree by a find's flags (one per slot): a month without a
// matching post is hidden, the others show "(3 of 12)". When no more than
// `openMonthsUpTo` months match they are opened; the posts of the other
// months are set when the writer opens them (filterMonthPosts). Returns the
// number of matching posts.
int filterPostTree(QTreeWidget *tree, const std::vector<char> &shown, int openMonthsUpTo);
// Shows the posts of one month whose flags are set and hides the others.
// Nothing happens with no flags (no filter).
void filterMonthPosts(QTreeWidgetItem *month, const std::vector<char> &shown);
// Shows every node again, every month closed but the one holding `keep`.
void unfilterPostTree(QTreeWidget *tree, QTreeWidgetItem *keep);
// Removes a post node whose post is gone; its month counts one post less
// ("(11)", or "(2 of 11)" under a find whose flags no longer show the post).
// A month left without posts stays.
void removePostNode(QTreeWidgetItem *post, const std::vector<char> &shown);
// True unless the filter hides the node: for a post, its month is shown and
// its flag set (no flags: no filter).
bool isNodeShown(const QTreeWidgetItem *node, const std::vector<char> &shown);

// The selected node, or nullptr.
QTreeWidgetItem *selectedNode(const QTreeWidget *tree);
// The node to select once `node` is removed, as a tree view picks it: the
// next shown sibling, else the previous shown one, else the parent; nullptr
// when none.
QTreeWidgetItem *nodeAfterRemoval(QTreeWidgetItem *node);
// True when the node's identity names a post (isPostNodeText).
bool isPostNode(const QTreeWidgetItem *node);
// The node whose identity is `name`, or nullptr; a post's month gets its
// post nodes made.
QTreeWidgetItem *findNode(const QTreeWidget *tree, const QString &name);

} // namespace tl
