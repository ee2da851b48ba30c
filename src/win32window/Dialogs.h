// The add flow's two dialogs as modeless windows owned by the main window:
// the verification dialog and the per-protocol editor.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "listings/ProtocolListing.h"
#include "windowlogic/AddFlow.h"
#include "windowlogic/MainWindowLayout.h"
#include "win32window/Controls.h"

namespace pw::win32 {

class MainWindow;

// A window made from a design: every control at its place through the DPI,
// flattened onto the window, with its command id.
class DesignedWindow {
 public:
  // `designName` names the design ("FormZ", "FormY") for the spoken names.
  DesignedWindow(MainWindow& main, const char* designName, const char* caption,
                 const std::vector<DesignControl>& design, int clientWidth, int clientHeight);
  virtual ~DesignedWindow();
  DesignedWindow(const DesignedWindow&) = delete;
  DesignedWindow& operator=(const DesignedWindow&) = delete;

  bool IsOpen() const { return window_ != nullptr; }
  HWND Handle() const { return window_; }
  // Shows the window, or brings it to the front when it shows.
  void Present();
  void Close();

 protected:
  virtual void Command(const std::string& name, int code) = 0;
  virtual void Ok() = 0;
  virtual void Closed() {}
  HWND Control(const std::string& name) const;
  void SetText(const std::string& name, const std::string& text);
  void FitCaption(const std::string& label, const std::string& value);
  void SetTabOrder(const std::vector<std::string>& names);
  MainWindow& main_;
  ToolTips tips_;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_ = nullptr;
  std::map<std::string, HWND> controls_;
  std::map<int, std::string> names_;
};

class VerifyDialog : public DesignedWindow {
 public:
  explicit VerifyDialog(MainWindow& main);
  // The load step on the address box's text; false for a refused address.
  bool Load();

 private:
  void Command(const std::string& name, int code) override;
  void Ok() override;
  std::optional<Zone> Choice() const;
  VerificationListing listing_;
};

class ProtocolDialog : public DesignedWindow {
 public:
  explicit ProtocolDialog(MainWindow& main);
  void Load(const std::string& fullSubDomain, const std::string& domain, const std::string& address);

 private:
  void Command(const std::string& name, int code) override;
  void Ok() override;
  void Closed() override;
  void UpdateRowControls(int row);
  std::string subDomain_;
  std::string domain_;
  ProtocolChoices rows_;
};

}  // namespace pw::win32
