#pragma once
// Reading the cookies a response set out of its raw header block, the way
// FetchPage hands both to its caller. Pure text functions on code-page-936
// bytes, callable from any thread.
#include <string>
#include <string_view>

namespace quill::web {

// Respells every "Set-Cookie" of the block, in whatever letter case the
// server wrote it, as "Set-Cookie"; the block is handed on in this form.
void SpellSetCookie(std::string& responseHeaders);

// The first name=value of every line of a respelt block that holds
// "Set-Cookie", trimmed and joined by "; ". The attributes after the first
// ";" (path, expiry, domain) are dropped, and no cookie is left out for them.
std::string ReceivedCookiesFrom(std::string_view responseHeaders);

}  // namespace quill::web
