#pragma once

#include <windows.h>

#include <string>

#include "app/BaseWindow_win.h"
#include "app/Gdi_win.h"
#include "registry/RegistryApi.h"
#include "unitMain/CleanWindow.h"

class TApplication;

// The main window: a fixed tool window with the "Clean" button, the log box and the status bar.
class TMainForm : public BaseWindow<TMainForm>, public CleanWindow {
 public:
  TMainForm(TApplication& application, RegistryReads& registry);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Shows the window centred on the desktop, with the focus on the button.
  void Show();

  void Button1Click(HWND sender);

  void ClearLog() override;
  void AppendLogLine(const std::string& line) override;
  void ShowNotice(const std::string& text) override;
  void SetStatusText(const std::string& text) override;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void CreateControls();

  TApplication& application_;
  RegistryReads& registry_;
  HWND Button1 = nullptr;
  HWND Memo1 = nullptr;
  HWND StatusBar1 = nullptr;
  HWND Label1 = nullptr;
  // The controls use them until the window, destroyed first, is gone.
  OwnedFont font_;
  OwnedFont statusFont_;
  std::string statusText_;
};
