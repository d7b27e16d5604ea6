#include "extract/Charset.h"

#include "text/Text.h"

namespace quill::extract {

bool DeclaresUtf8(std::string_view page) {
  return text::Contains(page, "charset=utf-8", true) || text::Contains(page, "charset=\"utf-8", true);
}

}  // namespace quill::extract
