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
  SetCaption(Designed<QLabel>("Label4"), kProtocolsCaption);
  for (int row = 0; row < kProtocolRows; ++row) {
    const ProtocolRowDesign& design = ProtocolListingRows()[row];
    RowControls& controls = rowControls_[row];
    controls.check = Designed<QCheckBox>(design.check);
    controls.check->setText(design.caption);
    // The check box sits on its frame's top edge and hides the edge behind it.
    controls.check->setAutoFillBackground(true);
    connect(controls.check, &QCheckBox::toggled, this, [this, row](bool on) {
      RowOf(rows_, row).checked = on;
      UpdateRowControls(row);
    });
    controls.group = new QButtonGroup(this);
    for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
      auto* option = Designed<QRadioButton>(design.options[i]);
      controls.options[i] = option;
      controls.pictures[i] = Designed<PictureControl>(design.pictures[i]);
      option->setText(kChoiceCaptions[i]);
      controls.group->addButton(option);
      Zone zone = kChoiceZones[i];
      connect(option, &QRadioButton::toggled, this, [this, row, zone](bool on) {
        if (on) RowOf(rows_, row).zone = zone;
      });
      // A disabled picture takes no clicks at all.
      connect(controls.pictures[i], &PictureControl::clicked, this, [this, row, zone, option] {
        if (ClickRowPicture(RowOf(rows_, row), zone)) option->setChecked(true);
      });
    }
  }
  okButton_->setText("OK");
  okButton_->setDefault(true);
  cancelButton_->setText("Cancel");
  connect(okButton_, &QPushButton::clicked, this, &ProtocolListingDialog::Ok);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  // Each row's check box before its choices, as the rows read; then the
  // buttons top to bottom. Escape is Cancel (QDialog's own).
  std::vector<QWidget*> order;
  for (const RowControls& controls : rowControls_) {
    order.push_back(controls.check);
    order.insert(order.end(), controls.options.begin(), controls.options.end());
  }
  order.insert(order.end(), {cancelButton_, okButton_});
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
  subDomainLabel_->setText(QString::fromStdString(subDomain_));
  domainLabel_->setText(QString::fromStdString(domain_));
  rows_ = ProtocolsForAddress(address);
  for (int row = 0; row < kProtocolRows; ++row) {
    QCheckBox* check = rowControls_[row].check;
    QSignalBlocker quiet(check);  // the row updates follow, in row order
    check->setChecked(RowOf(rows_, row).checked);
  }
  for (int row = 0; row < kProtocolRows; ++row) UpdateRowControls(row);
}

void ProtocolListingDialog::UpdateRowControls(int row) {
  const RowControls& controls = rowControls_[row];
  RowLook look = UpdateRow(RowOf(rows_, row));
  for (std::size_t i = 0; i < kChoiceZones.size(); ++i) {
    ShowPicture(controls.pictures[i], look.firstPicture + static_cast<int>(i));
    controls.options[i]->setEnabled(look.enabled);
    controls.pictures[i]->setEnabled(look.enabled);
  }
  if (look.enabled) return;
  // An exclusive group always keeps one option once one was chosen.
  controls.group->setExclusive(false);
  for (QRadioButton* option : controls.options) option->setChecked(false);
  controls.group->setExclusive(true);
}

void ProtocolListingDialog::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  if (WriteEditedProtocols(main_.Reg(), main_.Reporter(), domain_, subDomain_, rows_)) accept();
}

}  // namespace pw::ui
