#include "ui/FormZ.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "ui/Controls.h"
#include "ui/DialogDesign.h"
#include "ui/FormX.h"

namespace pw::ui {

FormZ::FormZ(FormX& main)
    : DesignedDialog(&main, "FormZ", kFormZCaption, FormZDesign(), kFormZClientWidth,
                     kFormZClientHeight),
      main_(main) {
  Control<QGroupBox>("Frame3")->setTitle(kChoicesFrameTitle);
  auto* choices = new QButtonGroup(this);
  for (std::size_t i = 0; i < kFormZOptions.size(); ++i) {
    auto* option = Control<QRadioButton>(kFormZOptions[i]);
    option->setText(kChoiceCaptions[i]);
    choices->addButton(option);
    // Only an accepted address enables the choices; a click on a picture
    // chooses nothing here.
    option->setEnabled(false);
    Control<QWidget>(kFormZPictures[i])->setEnabled(false);
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
  connect(ok, &QPushButton::clicked, this, &FormZ::Ok);
  connect(Control<QPushButton>("Command2"), &QPushButton::clicked, this, &QDialog::reject);
  connect(Control<QPushButton>("Command3"), &QPushButton::clicked, this, &FormZ::Advanced);
  // The choices, then the buttons top to bottom; Escape is Cancel (QDialog's own).
  SetTabOrder({"Option7", "Option8", "Option9", "Command2", "Command3", "Command1"});
  ApplyAccessibleTexts(*this);
}

bool FormZ::Load() {
  std::optional<VerificationListing> listing = LoadVerification(main_, main_.Prompts());
  if (!listing) return false;
  listing_ = std::move(*listing);
  for (std::size_t i = 0; i < kFormZOptions.size(); ++i) {
    ShowPicture(kFormZPictures[i], 2 + static_cast<int>(i));
    Control<QWidget>(kFormZOptions[i])->setEnabled(true);
    Control<QWidget>(kFormZPictures[i])->setEnabled(true);
  }
  Control<QLabel>("lblSubDomain")->setText(QString::fromStdString(listing_.subDomain));
  Control<QLabel>("lblDomain")->setText(QString::fromStdString(listing_.domain));
  Control<QLabel>("lblSubDomain")
      ->setProperty("Tag", QString::fromStdString(listing_.fullSubDomain));
  return true;
}

std::optional<Zone> FormZ::Choice() const {
  for (std::size_t i = 0; i < kFormZOptions.size(); ++i)
    if (Control<QRadioButton>(kFormZOptions[i])->isChecked()) return kChoiceZones[i];
  return std::nullopt;
}

void FormZ::Ok() {
  StoreFailureReporter::Action action(main_.Reporter());
  WriteVerifiedListing(main_.Reg(), main_.Reporter(), listing_, Choice());
  main_.Refresher();
  accept();
}

void FormZ::Advanced() {
  // The editor copies this dialog's listing while it is still open.
  main_.ShowFormY(*this);
  reject();
}

}  // namespace pw::ui
