#include "qtwindow/SiteListModel.h"

#include <QIcon>

#include "windowlogic/AccessibleTexts.h"
#include "qtwindow/Pictures.h"

namespace pw::ui {

SiteListModel::SiteListModel(SiteList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

int SiteListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || rebuilding_ ? 0 : list_.Count();
}

int SiteListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant SiteListModel::data(const QModelIndex& index, int role) const {
  if (rebuilding_ || !index.isValid() || index.row() >= list_.Count()) return {};
  const SiteRow& row = list_.Row(index.row() + 1);
  if (role == Qt::DisplayRole) {
    const std::string& text = index.column() == 0 ? row.text : index.column() == 1 ? row.subdomain : row.domain;
    return QString::fromStdString(text);
  }
  if (role == Qt::AccessibleTextRole) {
    // A row reads as protocol, subdomain, domain and the zone its picture shows.
    std::array<std::string, 4> reading = SiteRowReading(row);
    std::string text = index.column() == 2 ? reading[2] + ", " + reading[3] : reading[index.column()];
    return QString::fromStdString(text);
  }
  if (role == Qt::AccessibleDescriptionRole && index.column() == 0) return QString::fromStdString(SiteRowReading(row)[3]);
  if (role == Qt::DecorationRole && index.column() == 0) {
    // One icon object per picture: the view caches their pixmaps.
    static const QIcon icons[kImageListCount + 1] = {
        QIcon(),          ImageListIcon(1), ImageListIcon(2), ImageListIcon(3),
        ImageListIcon(4), ImageListIcon(5), ImageListIcon(6), ImageListIcon(7),
        ImageListIcon(8), ImageListIcon(9), ImageListIcon(10), ImageListIcon(11)};
    if (row.icon >= 1 && row.icon <= kImageListCount) return icons[row.icon];
    return {};
  }
  return {};
}

QVariant SiteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return QStringLiteral("Protocol");
    case 1: return QStringLiteral("Subdomain");
    case 2: return QStringLiteral("Trusted Website Domains");
  }
  return {};
}

Qt::ItemFlags SiteListModel::flags(const QModelIndex& index) const {
  // Rows are never edited in place.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void SiteListModel::BeginRebuild() {
  beginResetModel();
  rebuilding_ = true;
  endResetModel();
}

void SiteListModel::EndRebuild() {
  beginResetModel();
  rebuilding_ = false;
  endResetModel();
}

void SiteListModel::Reordered() {
  beginResetModel();
  endResetModel();
}

}  // namespace pw::ui
