#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "firmware/operation_context.h"

namespace fwu::firmware {

// Why a flash read stopped before its last block, for the operation to tell in its own words.
struct ReadStop {
    enum class Reason { Cancelled, StartRejected, NoAnswer, ShortAnswer };
    Reason reason;
    std::uint64_t blockIndex = 0;  // where it stopped: as many blocks were taken before it
    std::size_t received = 0;      // the bytes of a short answer
};

// The device's flash as the dump reads it: one start report with no pause after it, then one
// block read per block, each block's 32 bytes taken from positions 4 to 35 of the answer. The
// bar advances once per byte at the block's index over the last index, and the host's events
// are passed over once per block. A cancel request is seen before every report.
class FlashRead {
  public:
    using Block = std::span<const std::uint8_t, protocol::BlockSize>;
    // Takes block `index`; a result stops the read with it.
    using TakeBlock = std::function<std::optional<OperationResult>(std::uint64_t index, Block)>;
    using Describe = std::function<std::string(const ReadStop&)>;

    FlashRead(const OperationContext& context, std::uint64_t blockCount, Describe describe);

    std::optional<OperationResult> sendStart();
    std::optional<OperationResult> readBlocks(const TakeBlock& take);

  private:
    std::optional<OperationResult> readBlock(std::uint64_t index, const TakeBlock& take);
    OperationResult stopped(const ReadStop& stop) const;

    const OperationContext& context_;
    std::uint64_t blockCount_;
    Describe describe_;
    // Position 0 is set before every read; nothing else is cleared between reads.
    std::vector<std::uint8_t> answer_;
};

}  // namespace fwu::firmware
