#include "qtwindow/ProtocolListingDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "windowlogic/AddFlow.h"
#include "qtwindow/Controls.h"
#include "windowlogic/DialogDesign.h"
#include "qtwindow/MainWindow.h"

namespace pw::ui {

ProtocolListingDialog::ProtocolListingDialog(MainWindow& main)
    : DesignedDialog(&main, "FormY", kProtocolListingCaption, ProtocolListingDesign(), kProtocolListingClientWidth,
                     kProtocolListingClientHeight),
      main_(main) {
  SetCaption("Label4", kProtocolsCaption);
  for (int row = 0; row < kProtocolRows; ++row) {
    const ProtocolRowDesign& design = ProtocolListingRows()[row];
    auto* check = Control<QCheckBox>(design.check);
    check->setText(design.caption);
    // The check box sits on its frame's top edge and hides the edge behind it.
    check->setAutoFillBackground(true);
    connect(check, &QCheckBox::toggled, this, [this, row](bool on) {
      RowOf(rows_, row).checked = on;
      UpdateRowControls(row);
    });
    groups_[row] = new QButtonGroup(this);
    for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
      auto* option = Control<QRadioButton>(design.options[i]);
      option->setText(kChoiceCaptions[i]);
      groups_[row]->addButton(option);
      Zone zone = kChoiceZones[i];
      connect(option, &QRadioButton::toggled, this, [this, row, zone](bool on) {
        if (on) RowOf(rows_, row).zone = zone;
      });
      // A disabled picture takes no clicks at all.
      connect(Control<PictureControl>(design.pictures[i]), &PictureControl::clicked, this,
              [this, row, zone, option] {
                if (ClickRowPicture(RowOf(rows_, row), zone)) option->setChecked(true);
              });
    }
  }
  auto* ok = Control<QPushButton>("Command1");
  ok->setText("OK");
  ok->setDefault(true);
  Control<QPushButton>("Command2")->setText("Cancel");
  connect(ok, &QPushButton::clicked, this, &ProtocolListingDialog::Ok);
  connect(Control<QPushButton>("Command2"), &QPushButton::clicked, this, &QDialog::reject);
  // Each row's check box before its choices, as the rows read; then the
  // buttons top to bottom. Escape is Cancel (QDialog's own).
  std::vector<std::string> order;
  for (const ProtocolRowDesign& design : ProtocolListingRows()) {
    order.push_back(design.check);
    order.insert(order.end(), design.options.begin(), design.options.end());
  }
  order.insert(order.end(), {"Command2", "Command1"});
  SetTabOrder(order);
  ApplyAccessibleTexts(*this);
  // OK, Cancel, Escape and the close box all end here.
  connect(this, &QDialog::finished, this, [this] {
    StoreFailureReporter::Action action(main_.Reporter());
    main_.RebuildSiteList();
  });
}

void ProtocolListingDialog::Load(const std::string& fullSubDomain, const std::string& domain,
                 const std::string& address) {
  subDomain_ = fullSubDomain;
  domain_ = domain;
  Control<QLabel>("lblSubDomain")->setText(QString::fromStdString(subDomain_));
  Control<QLabel>("lblDomain")->setText(QString::fromStdString(domain_));
  rows_ = ProtocolsForAddress(address);
  for (int row = 0; row < kProtocolRows; ++row) {
    auto* check = Control<QCheckBox>(ProtocolListingRows()[row].check);
    QSignalBlocker quiet(check);  // the row updates follow, in row order
    check->setChecked(RowOf(rows_, row).checked);
  }
  for (int row = 0; row < kProtocolRows; ++row) UpdateRowControls(row);
}

void ProtocolListingDialog::UpdateRowControls(int row) {
  const ProtocolRowDesign& design = ProtocolListingRows()[row];
  RowLook look = UpdateRow(RowOf(rows_, row));
  for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
    ShowPicture(design.pictures[i], look.firstPicture + static_cast<int>(i));
    Control<QWidget>(design.options[i])->setEnabled(look.enabled);
    Control<QWidget>(design.pictures[i])->setEnabled(look.enabled);
  }
  if (look.enabled) return;
  // An exclusive group always keeps one option once one was chosen.
  groups_[row]->setExclusive(false);
  for (const char* option : design.options) Control<QRadioButton>(option)->setChecked(false);
  groups_[row]->setExclusive(true);
}

void ProtocolListingDialog::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  if (WriteEditedProtocols(main_.Reg(), main_.Reporter(), domain_, subDomain_, rows_)) accept();
}

}  // namespace pw::ui
