// The verification dialog: the generalised listing of the address in txtURL,
// one classification for all protocols, and the way to the per-protocol editor.
#pragma once

#include <optional>

#include "listings/Zones.h"
#include "windowlogic/AddFlow.h"
#include "qtwindow/DesignedDialog.h"

namespace pw::ui {

class MainWindow;

class VerifyListingDialog : public DesignedDialog {
  Q_OBJECT
 public:
  explicit VerifyListingDialog(MainWindow& main);

  // The load step on txtURL's text. False when the address was refused: the
  // message has been shown and the close request is in the main window's tag.
  bool Load();

  // What the labels show, with lblSubDomain's tag.
  const VerificationListing& Listing() const { return listing_; }

 private:
  std::optional<Zone> Choice() const;
  void Ok();
  void Advanced();

  MainWindow& main_;
  VerificationListing listing_;
};

}  // namespace pw::ui
