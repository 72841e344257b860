#include "product/carried_files.h"

#include <array>

#include "product/product_identity.h"

// Defined by payload_data.S, which takes the carried program in with .incbin.
extern "C" const std::byte orvane_payload_begin[];
extern "C" const std::byte orvane_payload_end[];

namespace orvane {

std::span<const PayloadImage> carried_files() {
  static const std::array<PayloadImage, 1> table{{
      {product.payload_file_name, std::span<const std::byte>(orvane_payload_begin, orvane_payload_end)},
  }};
  return table;
}

}  // namespace orvane
