#include "window/progress_width.h"

namespace fwu::window {

float progressWidth(std::int16_t fullWidth, std::int64_t done, std::int64_t total) {
    if (total <= 0)
        return 0.0f;
    // fullWidth fits 16 bits and done 32, so the product is exact in 64 bits and in a double.
    const std::int64_t product = static_cast<std::int64_t>(fullWidth) * done;
    return static_cast<float>(static_cast<double>(product) / static_cast<double>(total));
}

}  // namespace fwu::window
