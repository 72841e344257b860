#pragma once
// The files the setup program carries in its own read-only data.

#include <cstddef>
#include <span>
#include <string_view>

namespace orvane {

struct PayloadImage {
  std::string_view name;             // file name in the install folder
  std::span<const std::byte> bytes;  // in the program's constant data; written from there
};

// The fixed, ordered table of carried files (one record: the product's program).
std::span<const PayloadImage> carried_files();

}  // namespace orvane
