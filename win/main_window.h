// The main window: a resizable dialog on template IDD_MAIN with the toolbar,
// the path edit and its Open button, a divider, the pin-map list and the
// status strip, laid out on every size change. Its modal run is the program.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/record_document.h"

namespace vark::win {

class MainWindow {
  public:
    // `appName`: the executable's base name, which names the window property
    // a second start finds this window by.
    // `startFile`: a record file to open once the window shows (the
    // association passes it); empty for none.
    explicit MainWindow(std::wstring appName, std::wstring startFile = {});
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window from its template and runs it until it is ended.
    INT_PTR DoModal();
    HWND hwnd() const { return window_; }

  private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
    BOOL OnInitDialog();
    bool CreateToolBar();
    bool CreateStatusBar();
    void SetUpList();
    void Layout();
    void OnCommand(UINT id);
    void OnSizing(RECT* frame);
    void PaintIcon();
    void RunAbout();
    void RunUpload();
    void OpenRecordFile();
    bool OpenFile(const std::wstring& path);
    void SaveRecordFile();
    void ShowRows();
    void ShowPath();
    int Dpi() const;
    int Px(int v) const;

    HICON icon_ = nullptr;
    HWND toolBar_ = nullptr;
    HIMAGELIST toolBarImages_ = nullptr;
    HIMAGELIST rowHeightImages_ = nullptr;
    HWND statusBar_ = nullptr;
    UINT indicators_[1] = {0};
    int layoutReady_ = 0;
    HWND pathEdit_ = nullptr;
    HWND openButton_ = nullptr;
    HWND divider_ = nullptr;
    HWND list_ = nullptr;
    RecordDocument doc_;
    std::wstring startFile_;

    HWND window_ = nullptr;
    std::wstring appName_;
};

}  // namespace vark::win
