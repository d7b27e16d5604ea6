#pragma once
// How names, attribute values and texts are stored in the rule file.
#include <string>
#include <string_view>

namespace quill::rules {

// Replaces " & ' < > with their entities. A two-byte character passes whole;
// a lead byte whose next byte cannot trail it counts as a byte of its own,
// so a malformed text can never smuggle a raw quote or '<' into the file.
std::string EncodeValue(std::string_view value);

// Turns &lt; &gt; &amp; &apos; &quot; (and the misspelt &quote;) back into
// their characters; any other entity, numeric references included, and an
// '&' without its ';' stay as they are.
std::string DecodeValue(std::string_view stored);

// An element's stored text: like DecodeValue, except that the content of
// each CDATA section is taken verbatim and its markers are dropped.
std::string DecodeText(std::string_view stored);

// Whether an element named `name` (decoded) would read back from the file:
// the reader ends a name at the first space and takes "<!", "<?" and "</"
// for something else, and an empty name would be written as an end tag.
bool IsStorableName(std::string_view name);

}  // namespace quill::rules
