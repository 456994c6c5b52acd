// A stand-in for the print dialog: yields a recording surface, or cancels.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "report/print_job.h"
#include "testing/recording_surface.h"

namespace vark::testing {

struct ChooserLog {
    int made = 0;
    int destroyed = 0;
    int chosen = 0;
    std::vector<std::u16string> byName;
    std::size_t destroyedAtCall = 0;  // surface calls recorded when the dialog went
};

class FakeChooser : public PrinterChooser {
  public:
    FakeChooser(std::shared_ptr<RecordingState> state, std::shared_ptr<ChooserLog> log, bool cancel)
        : state_(std::move(state)), log_(std::move(log)), cancel_(cancel) {
        ++log_->made;
    }
    ~FakeChooser() override {
        ++log_->destroyed;
        log_->destroyedAtCall = state_->calls.size();
    }
    std::unique_ptr<PageSurface> Choose() override {
        ++log_->chosen;
        return cancel_ ? nullptr : std::make_unique<RecordingSurface>(state_);
    }
    std::unique_ptr<PageSurface> ByName(const std::u16string& device) override {
        log_->byName.push_back(device);
        return device == u"printer" ? std::make_unique<RecordingSurface>(state_) : nullptr;
    }

  private:
    std::shared_ptr<RecordingState> state_;
    std::shared_ptr<ChooserLog> log_;
    bool cancel_;
};

inline ChooserFactory MakeFake(const std::shared_ptr<RecordingState>& state,
                               const std::shared_ptr<ChooserLog>& log, bool cancel = false) {
    return [state, log, cancel] { return std::make_unique<FakeChooser>(state, log, cancel); };
}

}  // namespace vark::testing
