#include "platform/linux/report_descriptor.h"

#include <array>
#include <vector>

namespace fwu::platform::linux_hid {
namespace {

// Limits the kernel's own HID parser enforces; a descriptor beyond them describes no device.
constexpr std::uint32_t MaxReportSizeBits = 256;
constexpr std::uint32_t MaxReportCount = 12288;
constexpr std::uint32_t MaxReportDataBits = (16384 - 1) * 8;
constexpr std::size_t GlobalStackDepth = 4;
constexpr std::size_t ReportIdCount = 256;

constexpr std::uint8_t LongItemPrefix = 0xFE;

enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2 };

enum MainTag : std::uint8_t {
    InputTag = 0x8,
    OutputTag = 0x9,
    CollectionTag = 0xA,
    FeatureTag = 0xB,
    EndCollectionTag = 0xC,
};

enum GlobalTag : std::uint8_t {
    ReportSizeTag = 0x7,
    ReportIdTag = 0x8,
    ReportCountTag = 0x9,
    PushTag = 0xA,
    PopTag = 0xB,
};

enum ReportKind : std::size_t { InputKind, OutputKind, FeatureKind, KindCount };

struct ShortItem {
    std::uint8_t type = 0;
    std::uint8_t tag = 0;
    std::uint32_t data = 0;
};

struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

class Parser {
  public:
    explicit Parser(std::span<const std::uint8_t> descriptor) : bytes_(descriptor) {}

    DescriptorParse run() {
        while (offset_ < bytes_.size()) {
            itemOffset_ = offset_;
            const DescriptorError error = nextItem();
            if (error != DescriptorError::None)
                return failure(error);
        }
        if (collectionDepth_ != 0)
            return failure(DescriptorError::UnbalancedCollection);
        return DescriptorParse{lengths(), DescriptorError::None, 0};
    }

  private:
    DescriptorError nextItem() {
        if (bytes_[offset_] == LongItemPrefix)
            return skipLongItem();
        ShortItem item;
        if (!readShortItem(item))
            return DescriptorError::TruncatedItem;
        switch (item.type) {
            case Main:
                return mainItem(item);
            case Global:
                return globalItem(item);
            default:
                return DescriptorError::None;  // local and reserved items carry no sizes
        }
    }

    DescriptorError skipLongItem() {
        constexpr std::size_t headerSize = 3;  // prefix, data size, tag
        const std::size_t remaining = bytes_.size() - offset_;
        if (remaining < headerSize)
            return DescriptorError::LongItemPastEnd;
        const std::size_t dataSize = bytes_[offset_ + 1];
        if (remaining - headerSize < dataSize)
            return DescriptorError::LongItemPastEnd;
        offset_ += headerSize + dataSize;
        return DescriptorError::None;
    }

    bool readShortItem(ShortItem& item) {
        const std::uint8_t prefix = bytes_[offset_];
        static constexpr std::array<std::size_t, 4> dataSizes = {0, 1, 2, 4};
        const std::size_t dataSize = dataSizes[prefix & 0x3];
        if (bytes_.size() - offset_ - 1 < dataSize)
            return false;
        item.type = static_cast<std::uint8_t>((prefix >> 2) & 0x3);
        item.tag = static_cast<std::uint8_t>(prefix >> 4);
        item.data = 0;
        for (std::size_t i = 0; i < dataSize; ++i) {
            item.data |= static_cast<std::uint32_t>(bytes_[offset_ + 1 + i]) << (8 * i);
        }
        offset_ += 1 + dataSize;
        return true;
    }

    DescriptorError mainItem(const ShortItem& item) {
        switch (item.tag) {
            case InputTag:
                return addField(InputKind);
            case OutputTag:
                return addField(OutputKind);
            case FeatureTag:
                return addField(FeatureKind);
            case CollectionTag:
                ++collectionDepth_;
                return DescriptorError::None;
            case EndCollectionTag:
                if (collectionDepth_ == 0)
                    return DescriptorError::UnbalancedCollection;
                --collectionDepth_;
                return DescriptorError::None;
            default:
                return DescriptorError::None;
        }
    }

    DescriptorError addField(ReportKind kind) {
        if (global_.reportSize == 0 || global_.reportCount == 0) {
            return DescriptorError::EmptyField;
        }
        // Both factors were checked against their limits, so the product fits in 32 bits.
        std::uint32_t& bits = reportBits_[kind][global_.reportId];
        bits += global_.reportSize * global_.reportCount;
        if (bits > MaxReportDataBits)
            return DescriptorError::ReportTooLong;
        return DescriptorError::None;
    }

    DescriptorError globalItem(const ShortItem& item) {
        switch (item.tag) {
            case ReportSizeTag:
                if (item.data > MaxReportSizeBits)
                    return DescriptorError::FieldTooLarge;
                global_.reportSize = item.data;
                return DescriptorError::None;
            case ReportCountTag:
                if (item.data > MaxReportCount)
                    return DescriptorError::FieldTooLarge;
                global_.reportCount = item.data;
                return DescriptorError::None;
            case ReportIdTag:
                if (item.data == 0 || item.data >= ReportIdCount) {
                    return DescriptorError::InvalidReportId;
                }
                global_.reportId = item.data;
                return DescriptorError::None;
            case PushTag:
                if (globalStack_.size() == GlobalStackDepth) {
                    return DescriptorError::GlobalStackOverflow;
                }
                globalStack_.push_back(global_);
                return DescriptorError::None;
            case PopTag:
                if (globalStack_.empty())
                    return DescriptorError::GlobalStackUnderflow;
                global_ = globalStack_.back();
                globalStack_.pop_back();
                return DescriptorError::None;
            default:
                return DescriptorError::None;
        }
    }

    ReportLengths lengths() const {
        return ReportLengths{longestReport(InputKind), longestReport(OutputKind),
                             longestReport(FeatureKind)};
    }

    std::uint16_t longestReport(ReportKind kind) const {
        std::uint32_t longestBits = 0;
        bool any = false;
        for (const std::uint32_t bits : reportBits_[kind]) {
            any = any || bits != 0;
            if (bits > longestBits)
                longestBits = bits;
        }
        if (!any)
            return 0;
        constexpr std::uint32_t reportIdByte = 1;
        return static_cast<std::uint16_t>((longestBits + 7) / 8 + reportIdByte);
    }

    DescriptorParse failure(DescriptorError error) const {
        return DescriptorParse{std::nullopt, error, itemOffset_};
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    std::size_t itemOffset_ = 0;
    std::size_t collectionDepth_ = 0;
    GlobalState global_;
    std::vector<GlobalState> globalStack_;
    std::array<std::array<std::uint32_t, ReportIdCount>, KindCount> reportBits_{};
};

}  // namespace

DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser(descriptor).run();
}

std::string_view describe(DescriptorError error) {
    switch (error) {
        case DescriptorError::None:
            return "no error";
        case DescriptorError::TruncatedItem:
            return "an item is cut off by the end of the report descriptor";
        case DescriptorError::LongItemPastEnd:
            return "a long item runs past the end of the report descriptor";
        case DescriptorError::EmptyField:
            return "a report field has a Report Size or Report Count of 0";
        case DescriptorError::FieldTooLarge:
            return "a Report Size or Report Count is larger than HID allows";
        case DescriptorError::ReportTooLong:
            return "a report is longer than the largest HID report";
        case DescriptorError::InvalidReportId:
            return "a Report ID is 0 or above 255";
        case DescriptorError::GlobalStackOverflow:
            return "too many nested Push items";
        case DescriptorError::GlobalStackUnderflow:
            return "a Pop item without a matching Push";
        case DescriptorError::UnbalancedCollection:
            return "the collections do not nest";
    }
    return "unknown error";
}

}  // namespace fwu::platform::linux_hid
