#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/linux/report_descriptor.h"
#include "tests/fuzz/fuzz_check.h"

// The report descriptor comes from the device: any bytes at all.
namespace {

using fwu::fuzz::check;
using namespace fwu::platform::linux_hid;

// The largest report the parser accepts: 16383 data bytes and the report-ID byte.
constexpr std::uint16_t LongestReport = 16384;

bool plausible(std::uint16_t length) {
    return length == 0 || (length >= 2 && length <= LongestReport);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> descriptor(data, size);
    const DescriptorParse parse = parseReportDescriptor(descriptor);
    if (parse.lengths) {
        check(parse.error == DescriptorError::None, "a parsed descriptor carries no error");
        check(plausible(parse.lengths->input) && plausible(parse.lengths->output) &&
                  plausible(parse.lengths->feature),
              "every report length is 0 or one data byte and the ID byte up to the largest");
    } else {
        check(parse.error != DescriptorError::None, "a failed parse names its error");
        check(parse.errorOffset < size, "the failing item lies inside the descriptor");
        check(!describe(parse.error).empty(), "every error has a description");
    }
    return 0;
}
