#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/linux/report_descriptor.h"
#include "tests/fuzz/fuzz_check.h"

using namespace fwu::platform::linux_hid;

// The report descriptor comes from the device: any bytes at all.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DescriptorParse parse = parseReportDescriptor(std::span(data, size));
    if (parse.lengths) {
        check(parse.error == DescriptorError::None, "a parsed descriptor carries no error");
        // No report, or one data byte and the report-ID byte up to the largest the parser takes.
        for (const auto length :
             {parse.lengths->input, parse.lengths->output, parse.lengths->feature})
            check(length == 0 || (length >= 2 && length <= 16384), "a report length within limits");
    } else {
        check(parse.error != DescriptorError::None, "a failed parse names its error");
        check(parse.errorOffset < size, "the failing item lies inside the descriptor");
        check(!describe(parse.error).empty(), "every error has a description");
    }
    return 0;
}
