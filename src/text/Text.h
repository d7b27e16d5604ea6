#pragma once
// Operations on code-page-936 texts. A text is a byte string in which a byte
// of 0x80 or above starts a two-byte character; every scan steps over whole
// characters so a match never starts on a trail byte. Positions count bytes
// from 1 and a search that finds nothing gives -1.
#include <string>
#include <string_view>
#include <vector>

namespace quill::text {

using Text = std::string;

// Byte length of the character starting at `b` (the last one may be cut off).
constexpr int CharLength(unsigned char b) { return b >= 0x80 ? 2 : 1; }

// The part of `bytes` before its first zero byte: how a page body becomes a text.
std::string_view UpToZero(std::string_view bytes);

// First occurrence of `needle` at or after `start`; ignoring case folds only
// ASCII letters that stand as characters (never trail bytes). An empty needle
// is found at `start` when it lies inside the text.
int Find(std::string_view text, std::string_view needle, int start = 1, bool ignoreCase = false);
// Last occurrence, with the same stepping and case rules.
int FindLast(std::string_view text, std::string_view needle, bool ignoreCase = false);
inline bool Contains(std::string_view text, std::string_view needle, bool ignoreCase = false) {
  return Find(text, needle, 1, ignoreCase) > 0;
}

// Every non-overlapping occurrence, scanned once from the left.
Text Replace(std::string_view text, std::string_view from, std::string_view to,
             bool ignoreCase = false);
// Same, rewriting `text` in place; returns the number of replacements.
int ReplaceInPlace(Text& text, std::string_view from, std::string_view to, bool ignoreCase = false);

// Pieces between separators; empty inner pieces stay, an empty last piece is
// dropped, an empty text gives no pieces. The views point into `text`.
std::vector<std::string_view> Split(std::string_view text, std::string_view separator);

// Without leading and trailing ASCII spaces and full-width spaces (A1 A1).
std::string_view Trim(std::string_view text);
// Without any ASCII space or full-width space.
Text RemoveSpaces(std::string_view text);
// Only A to Z change.
Text ToLower(std::string_view text);

std::string_view Left(std::string_view text, int n);
std::string_view Right(std::string_view text, int n);
// n bytes from 1-based position p.
std::string_view Middle(std::string_view text, int p, int n);

// Leading decimal digits after optional spaces and a sign; 0 when none.
// Values beyond the 32-bit range saturate.
int ToInteger(std::string_view text);

}  // namespace quill::text
