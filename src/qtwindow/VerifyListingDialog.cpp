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
  Control<QGroupBox>("Frame3")->setTitle(kChoicesFrameTitle);
  auto* choices = new QButtonGroup(this);
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i) {
    auto* option = Control<QRadioButton>(kVerifyListingOptions[i]);
    option->setText(kChoiceCaptions[i]);
    choices->addButton(option);
    // Only an accepted address enables the choices; a click on a picture
    // chooses nothing here.
    option->setEnabled(false);
    Control<QWidget>(kVerifyListingPictures[i])->setEnabled(false);
  }
  auto* ok = Control<QPushButton>("Command1");
  ok->setText("OK");
  ok->setDefault(true);
  Control<QPushButton>("Command2")->setText("Cancel");
  Control<QPushButton>("Command3")->setText(kAdvancedCaption);
  Control<QPushButton>("Command3")
      ->setToolTip(kAdvancedToolTip);
  Control<QLabel>("lblSubDomain")
      ->setToolTip(kSubDomainToolTip);
  connect(ok, &QPushButton::clicked, this, &VerifyListingDialog::Ok);
  connect(Control<QPushButton>("Command2"), &QPushButton::clicked, this, &QDialog::reject);
  connect(Control<QPushButton>("Command3"), &QPushButton::clicked, this, &VerifyListingDialog::Advanced);
  // The choices, then the buttons top to bottom; Escape is Cancel (QDialog's own).
  SetTabOrder({"Option7", "Option8", "Option9", "Command2", "Command3", "Command1"});
  ApplyAccessibleTexts(*this);
}

bool VerifyListingDialog::Load() {
  std::optional<VerificationListing> listing = LoadVerification(main_, main_.Prompts());
  if (!listing) return false;
  listing_ = std::move(*listing);
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i) {
    ShowPicture(kVerifyListingPictures[i], 2 + static_cast<int>(i));
    Control<QWidget>(kVerifyListingOptions[i])->setEnabled(true);
    Control<QWidget>(kVerifyListingPictures[i])->setEnabled(true);
  }
  Control<QLabel>("lblSubDomain")->setText(QString::fromStdString(listing_.subDomain));
  Control<QLabel>("lblDomain")->setText(QString::fromStdString(listing_.domain));
  Control<QLabel>("lblSubDomain")
      ->setProperty("Tag", QString::fromStdString(listing_.fullSubDomain));
  return true;
}

std::optional<Zone> VerifyListingDialog::Choice() const {
  for (std::size_t i = 0; i < kVerifyListingOptions.size(); ++i)
    if (Control<QRadioButton>(kVerifyListingOptions[i])->isChecked()) return kChoiceZones[i];
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
