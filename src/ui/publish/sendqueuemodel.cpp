#include "ui/publish/sendqueuemodel.h"

#include "core/errors.h"
#include "core/programfiles.h"
#include "posts/postfile.h"
#include "publish/sendqueue.h"

#include <QDate>

namespace tl {

SendQueueModel::SendQueueModel(const SendQueue &queue, QObject *parent)
    : QAbstractListModel(parent)
    , queue_(queue)
{
}

void SendQueueModel::refresh()
{
    beginResetModel();
    site_ = queue_.siteFiles();
    posts_ = queue_.postFiles();
    mainFolder_ = queue_.paths().mainFolder;
    endResetModel();
}

QString SendQueueModel::pathAt(int row) const
{
    if (row < 0)
        return QString();
    if (row < site_.size())
        return site_[row];
    row -= static_cast<int>(site_.size());
    return row < posts_.size() ? posts_[row] : QString();
}

int SendQueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(site_.size() + posts_.size());
}

namespace {

// "1049328060.txt (post of 03.04.2003 00:01)"; a name that is no post name
// is shown as it is.
QString postText(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    std::int32_t time = 0;
    try {
        time = postTimeOfName(pathBytes(name));
    } catch (const AppError &) {
        return name;
    }
    const CivilDateTime c = civilFromSeconds(time);
    return QStringLiteral("%1 (post of %2 %3)")
        .arg(name, QDate(c.year, c.month, c.day).toString(QStringLiteral("dd.MM.yyyy")),
            QString::fromLatin1(timeText(c).c_str()));
}

} // namespace

QVariant SendQueueModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    const QString path = pathAt(row);
    if (path.isEmpty())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return row < site_.size() ? siteRelativePath(mainFolder_, path) : postText(path);
    case Qt::ToolTipRole:
    case PathRole:
        return path;
    default:
        return {};
    }
}

} // namespace tl
