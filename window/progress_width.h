#pragma once

#include <cstdint>

namespace fwu::window {

// Width of the progress fill in twips: fullWidth x done, formed exactly, divided by total in
// double precision, handed over in single precision.
float progressWidth(std::int16_t fullWidth, std::int64_t done, std::int64_t total);

}  // namespace fwu::window
