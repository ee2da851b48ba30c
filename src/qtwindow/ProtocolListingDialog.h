// The per-protocol editor: the exact subdomain of the address, classified
// separately for HTTPS, FTP and HTTP. However it closes, the main window's
// site list is rebuilt.
#pragma once

#include <array>
#include <string>

#include "listings/ProtocolListing.h"
#include "qtwindow/DesignedDialog.h"

class QButtonGroup;
class QCheckBox;
class QRadioButton;

namespace pw::ui {

class MainWindow;
class PictureControl;

class ProtocolListingDialog : public DesignedDialog {
  Q_OBJECT
 public:
  explicit ProtocolListingDialog(MainWindow& main);

  // The load step: the listing copied from the verification dialog's
  // lblSubDomain tag and lblDomain caption, the rows checked from the scheme of
  // `address`, no choice made.
  void Load(const std::string& fullSubDomain, const std::string& domain,
            const std::string& address);

 private:
  // The row update of row `row` (0 to 2), after its check box has changed.
  void UpdateRowControls(int row);
  void Ok();

  MainWindow& main_;
  std::string subDomain_;
  std::string domain_;
  ProtocolChoices rows_;
  // A protocol row's controls, HTTPS, FTP, HTTP; the choices and pictures
  // Trusted, Unclassified, Restricted.
  struct RowControls {
    QCheckBox* check = nullptr;
    std::array<QRadioButton*, 3> options{};
    std::array<PictureControl*, 3> pictures{};
    QButtonGroup* group = nullptr;
  };
  std::array<RowControls, 3> rowControls_{};
};

}  // namespace pw::ui
