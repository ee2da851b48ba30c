#include "qtwindow/VerifyListingDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "qtwindow/Controls.h"
#include "windowlogic/DialogDesign.h"
#include "qtwindow/MainWindow.h"

namespace pw::ui {

VerifyListingDialog::VerifyListingDialog(MainWindow& main)
    : DesignedDialog(&main, "FormZ", kVerifyListingCaption, VerifyListingDesign(), kVerifyListingClientWidth,
                     kVerifyListingClientHeight),
      main_(main) {
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i) {
    options_[i] = Designed<QRadioButton>(kVerifyListingOptions[i]);
    pictures_[i] = Designed<PictureControl>(kVerifyListingPictures[i]);
  }
  advancedButton_ = Designed<QPushButton>("Command3");
  Designed<QGroupBox>("Frame3")->setTitle(kChoicesFrameTitle);
  auto* choices = new QButtonGroup(this);
  for (std::size_t i = 0; i < options_.size(); ++i) {
    options_[i]->setText(kChoiceCaptions[i]);
    choices->addButton(options_[i]);
    // Only an accepted address enables the choices; a click on a picture
    // chooses nothing here.
    options_[i]->setEnabled(false);
    pictures_[i]->setEnabled(false);
  }
  okButton_->setText("OK");
  okButton_->setDefault(true);
  cancelButton_->setText("Cancel");
  advancedButton_->setText(kAdvancedCaption);
  advancedButton_->setToolTip(kAdvancedToolTip);
  subDomainLabel_->setToolTip(kSubDomainToolTip);
  connect(okButton_, &QPushButton::clicked, this, &VerifyListingDialog::Ok);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  connect(advancedButton_, &QPushButton::clicked, this, &VerifyListingDialog::Advanced);
  // The choices, then the buttons top to bottom; Escape is Cancel (QDialog's own).
  SetTabOrder({options_[0], options_[1], options_[2], cancelButton_, advancedButton_, okButton_});
  ApplyAccessibleTexts(*this);
}

bool VerifyListingDialog::Load() {
  std::optional<VerificationListing> listing = LoadVerification(main_, main_.Prompts());
  if (!listing) return false;
  listing_ = std::move(*listing);
  for (std::size_t i = 0; i < options_.size(); ++i) {
    ShowPicture(pictures_[i], 2 + static_cast<int>(i));
    options_[i]->setEnabled(true);
    pictures_[i]->setEnabled(true);
  }
  subDomainLabel_->setText(QString::fromStdString(listing_.subDomain));
  domainLabel_->setText(QString::fromStdString(listing_.domain));
  subDomainLabel_->setProperty("Tag", QString::fromStdString(listing_.fullSubDomain));
  return true;
}

std::optional<Zone> VerifyListingDialog::Choice() const {
  for (std::size_t i = 0; i < options_.size(); ++i)
    if (options_[i]->isChecked()) return kChoiceZones[i];
  return std::nullopt;
}

void VerifyListingDialog::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  WriteVerifiedListing(main_.Reg(), main_.Reporter(), listing_, Choice());
  main_.RebuildSiteList();
  accept();
}

void VerifyListingDialog::Advanced() {
  // The editor copies this dialog's listing while it is still open.
  main_.ShowProtocolListingDialog(*this);
  reject();
}

}  // namespace pw::ui
