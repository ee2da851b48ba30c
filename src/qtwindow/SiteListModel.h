// Shows a SiteList in the list view: its rows in its order, three columns, the
// zone picture of ImageList11 as each row's small icon.
#pragma once

#include <QAbstractTableModel>

#include "listings/SiteList.h"

namespace pw::ui {

class SiteListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  SiteListModel(SiteList& list, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // While the list is rebuilt in place the view must not read it: it shows no
  // rows from BeginRebuild until EndRebuild.
  void BeginRebuild();
  void EndRebuild();
  // The list's rows were reordered (a header click).
  void Reordered();

 private:
  SiteList& list_;
  bool rebuilding_ = false;
};

}  // namespace pw::ui
