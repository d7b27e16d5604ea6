#pragma once
// Whole-file reading and writing for the rule file. A save never leaves a
// half-written file behind: the new bytes go to a temporary file beside the
// old one, reach the disk, and only then take its name.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quill::rules {

// A rule file is small; anything bigger than this is not one and is treated
// as unreadable rather than pulled into memory whole.
inline constexpr size_t kMaxRuleFileBytes = 64u << 20;

// The file's bytes; none when it is missing, cannot be read or is too big.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Puts `bytes` in place of an existing, writable `file` in one step, keeping
// its permissions; a symbolic link stays a link and its target is replaced.
// False, with the old file exactly as it was, when any step fails.
bool ReplaceFile(const std::filesystem::path& file, std::string_view bytes);

// Creates `file` holding `bytes`, in one step and only when nothing of that
// name exists. False when something does or when the file cannot be made.
bool CreateFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace quill::rules
