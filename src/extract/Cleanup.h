#pragma once
// The fixed cleaning of a chapter's text: fifteen literal replacements in
// order, each scanning once from the left with exact case. Later steps see
// what earlier ones wrote.
#include <string>

namespace quill::extract {

void CleanChapterText(std::string& text);

}  // namespace quill::extract
