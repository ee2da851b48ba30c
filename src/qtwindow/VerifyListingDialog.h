// The verification dialog: the generalised listing of the address in txtURL,
// one classification for all protocols, and the way to the per-protocol editor.
#pragma once

#include <array>
#include <optional>

#include "listings/Zones.h"
#include "windowlogic/AddFlow.h"
#include "qtwindow/DesignedDialog.h"

class QRadioButton;

namespace pw::ui {

class MainWindow;
class PictureControl;

class VerifyListingDialog : public DesignedDialog {
  Q_OBJECT
 public:
  explicit VerifyListingDialog(MainWindow& main);

  // The load step on txtURL's text. False when the address was refused: the
  // message has been shown and the dialog is to close.
  bool Load();

  // What the labels show, with lblSubDomain's tag.
  const VerificationListing& Listing() const { return listing_; }

 private:
  std::optional<Zone> Choice() const;
  void Ok();
  void Advanced();

  MainWindow& main_;
  VerificationListing listing_;
  // Trusted, Unclassified, Restricted (Option7 to Option9, Image7 to Image9).
  std::array<QRadioButton*, 3> options_{};
  std::array<PictureControl*, 3> pictures_{};
  QPushButton* advancedButton_ = nullptr;  // Command3
};

}  // namespace pw::ui
