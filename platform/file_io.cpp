#include "platform/file_io.h"

namespace vark::platform {
namespace {

class NameRefusalCategoryImpl : public std::error_category {
  public:
    const char* name() const noexcept override { return "vark-name"; }
    std::string message(int value) const override {
        switch (static_cast<NameRefusal>(value)) {
            case NameRefusal::kForeignLink:
                return "a link in a shared folder made by another user is not followed";
            case NameRefusal::kForeignFile:
                return "a file in a shared folder owned by another user is not written";
            case NameRefusal::kDeviceThroughLink:
                return "a device or FIFO is written only when named directly, not through a link";
            case NameRefusal::kBlockDevice:
                return "a block device is never written";
        }
        return "refused name";
    }
    std::error_condition default_error_condition(int value) const noexcept override {
        switch (static_cast<NameRefusal>(value)) {
            case NameRefusal::kForeignLink:
            case NameRefusal::kForeignFile:
                return std::errc::permission_denied;
            default:
                return std::errc::operation_not_permitted;
        }
    }
};

}  // namespace

const std::error_category& NameRefusalCategory() {
    static const NameRefusalCategoryImpl category;
    return category;
}

std::error_code make_error_code(NameRefusal refusal) {
    return {static_cast<int>(refusal), NameRefusalCategory()};
}

}  // namespace vark::platform
