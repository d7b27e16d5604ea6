#pragma once
#include <string_view>

namespace quill::extract {

// Whether a page declares UTF-8: "charset=utf-8" or "charset=\"utf-8",
// ASCII case ignored. Nothing else decides a page's encoding.
bool DeclaresUtf8(std::string_view page);

}  // namespace quill::extract
