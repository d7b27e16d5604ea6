#pragma once
// Small text functions beneath FetchPage: taking an address apart, reading a
// value out of header text, and keeping a cookie text up to date. They keep
// no state, so any thread may call them. Texts are code-page-936 bytes;
// positions count from 1 and -1 means "not found".
#include <string>
#include <string_view>
#include <vector>

namespace quill::web {

// The text between the first `left` and the first `right` after it; empty when
// either is missing. Every "#引号" in a marker stands for a double quote, since
// a rule field cannot hold a literal quote.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right);

// Everything after the first ':' trimmed; empty without a colon.
std::string TextAfterColon(std::string_view text);

// The lower-cased host of an address: everything between the scheme (http://
// when none is given) and the next '/'. Without keepPort the part after the
// first ':' is dropped.
std::string HostOf(std::string_view address, bool keepPort = false);
// The port written in the address, else 443 for https and 80 otherwise; 0
// when the written port holds no digits.
int PortOf(std::string_view address);
// From the first '/' after the host to the end, in the address's own letter
// case, query included; "/" when there is none.
std::string PathOf(std::string_view address);

// Merges the cookies a response set into the caller's cookie text: received
// items first, then old items whose names were not received; items set to
// "deleted" vanish. Both texts lose their spaces; `cookies` ends up holding the
// merged text, which is also returned.
std::string MergeCookies(std::string& cookies, std::string& received);

// The text before the first '=' (the whole item without one), trimmed.
std::string CookieName(std::string_view item);
bool HasCookieName(const std::vector<std::string>& items, std::string_view name);
// The pieces of `text` at `separator`, each exact text only once, joined again.
std::string RemoveDuplicateItems(std::string_view text, std::string_view separator);
// 1-based position of the first item equal to `text`, -1 when none is.
int IndexOfItem(const std::vector<std::string>& items, std::string_view text);

}  // namespace quill::web
