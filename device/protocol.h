#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The device family's wire protocol: identities, command codes and fixed sizes. The host side
// (device/, firmware/) and the simulated device (simulator/) both speak it.
namespace fwu::protocol {

inline constexpr std::uint16_t VendorId = 0x7A5D;
inline constexpr std::uint16_t BootloaderProductId = 0x0B1D;
inline constexpr std::array<std::uint16_t, 2> ApplicationProductIds = {0x0A11, 0x0A12};

// Taken by the application firmware at report positions 1 to 3 as the request to restart in
// its bootloader.
inline constexpr std::array<std::uint8_t, 3> EnterBootloaderMagic = {0x5A, 0xB1, 0xE7};

inline constexpr std::uint8_t ReportId = 0;
inline constexpr std::uint8_t StartCommand = 1;
inline constexpr std::uint8_t WriteRecordCommand = 2;
inline constexpr std::uint8_t FinishCommand = 3;
inline constexpr std::uint8_t EraseCommand = 4;

inline constexpr std::size_t CommandPosition = 1;
inline constexpr std::size_t CountPosition = 5;  // 32-bit little-endian, 5 to 8
inline constexpr std::size_t CountSize = 4;
inline constexpr std::size_t WriteRecordPosition = 9;       // record bytes at 9 to 48
inline constexpr std::size_t BootloaderRecordPosition = 1;  // record bytes at 1 to 40
inline constexpr std::size_t BlockDataPosition = 4;         // flash bytes at 4 to 35

inline constexpr std::size_t ImageRecordSize = 40;
inline constexpr std::size_t BlockSize = 32;
inline constexpr std::size_t FlashSize = 1024 * 1024;
inline constexpr std::size_t BlockCount = FlashSize / BlockSize;  // 32768

inline constexpr bool isSupportedProduct(std::uint16_t productId) {
    return productId == BootloaderProductId || productId == ApplicationProductIds[0] ||
           productId == ApplicationProductIds[1];
}

// A device of the family: the vendor ID and one of its three product IDs.
inline constexpr bool isSupportedDevice(std::uint16_t vendorId, std::uint16_t productId) {
    return vendorId == VendorId && isSupportedProduct(productId);
}

}  // namespace fwu::protocol
