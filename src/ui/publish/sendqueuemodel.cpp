#include "ui/publish/sendqueuemodel.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/programfiles.h"
#include "posts/postfile.h"
#include "publish/sendqueue.h"

#include <QBrush>
#include <QDate>
#include <QFont>

namespace tl {

SendQueueModel::SendQueueModel(const SendQueue &queue, QObject *parent)
    : QAbstractListModel(parent)
    , queue_(queue)
{
}

void SendQueueModel::refresh(const std::vector<std::string> &removals)
{
    beginResetModel();
    site_ = queue_.siteFiles();
    posts_ = queue_.postFiles();
    removals_.clear();
    for (const std::string &name : removals)
        removals_ << decodeCp1250(name);
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
    return parent.isValid() ? 0 : static_cast<int>(site_.size() + posts_.size() + removals_.size());
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
    const int removal = row - static_cast<int>(site_.size() + posts_.size());
    if (removal >= 0 && removal < removals_.size()) {
        const QString &name = removals_[removal];
        switch (role) {
        case Qt::DisplayRole:
            return tr("remove %1").arg(name);
        case Qt::ToolTipRole:
            return tr("No longer part of the site: the next send removes %1 from the server")
                .arg(name);
        case Qt::ForegroundRole:
            return QBrush(QColor(0xB0, 0x20, 0x20));
        case Qt::FontRole: {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        case RemovalRole:
            return name;
        case PathRole:
            return QString();
        default:
            return {};
        }
    }
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
