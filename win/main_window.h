// The main window: a resizable dialog on template IDD_MAIN with the toolbar,
// the path edit and its Open button, a divider, the pin-map list and the
// status strip, laid out on every size change. Its modal run is the program.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace vark::win {

class CVarkDlg {
  public:
    // `appName`: the executable's base name, which names the window property
    // a second start finds this window by.
    explicit CVarkDlg(std::wstring appName);
    ~CVarkDlg();
    CVarkDlg(const CVarkDlg&) = delete;
    CVarkDlg& operator=(const CVarkDlg&) = delete;

    // Creates the window from its template and runs it until it is ended.
    INT_PTR DoModal();
    HWND hwnd() const { return m_hWnd; }

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
    int Dpi() const;
    int Px(int v) const;

    HICON m_hIcon = nullptr;
    HWND m_wndToolBar = nullptr;
    HIMAGELIST m_ilToolBar = nullptr;
    HIMAGELIST m_ilRowHeight = nullptr;
    HWND m_wndStatusBar = nullptr;
    UINT m_nIndicators[1] = {0};
    int m_bLayoutReady = 0;
    HWND m_pPathEdit = nullptr;
    HWND m_pOpenButton = nullptr;
    HWND m_pDivider = nullptr;
    HWND m_pList = nullptr;
    std::wstring m_strPath;

    HWND m_hWnd = nullptr;
    std::wstring m_appName;
};

}  // namespace vark::win
