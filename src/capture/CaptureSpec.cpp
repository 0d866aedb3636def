#include "capture/CaptureSpec.hpp"

namespace velmar {

CaptureSpec CaptureSpec::native(std::shared_ptr<const Segmenter> segmenter) {
    return CaptureSpec(Native{std::move(segmenter)});
}

CaptureSpec CaptureSpec::browser(BrowserProfile profile) { return CaptureSpec(Browser{std::move(profile)}); }

}  // namespace velmar
