// The Upload Data dialog on template IDD_UPLOAD: a view of the shared upload
// rules (ui/upload_session). The link's worker reaches the window only by
// posted messages; every control is touched on the window's own thread.
#pragma once

#include <windows.h>

#include <functional>

#include "records/record_block.h"
#include "ui/call_queue.h"
#include "ui/upload_session.h"

namespace vark::win {

class UploadDialog : public UploadView {
  public:
    using ReceivedHandler = std::function<void(const RecordBlock&)>;

    explicit UploadDialog(ReceivedHandler onReceived);
    ~UploadDialog() override;
    UploadDialog(const UploadDialog&) = delete;
    UploadDialog& operator=(const UploadDialog&) = delete;

    // Runs the dialog modally over `owner` until it is ended.
    INT_PTR DoModal(HWND owner);

    // UploadView, on the window's thread but for Post.
    void ShowButtons(const UploadButtons& buttons) override;
    void ShowProgress(int position) override;
    void ShowCaption(const std::string& caption) override;
    void ShowMessage(const std::string& text) override;
    void Post(std::function<void()> fn) override;

  private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
    void End();

    HWND window_ = nullptr;
    // Before the session: the session's last calls (its destructor stops the
    // link) still find the queue.
    CallQueue calls_;
    UploadSession session_;
};

}  // namespace vark::win
