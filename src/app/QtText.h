#pragma once
// The one place where code-page-936 texts become Qt's Unicode strings and
// back. Characters code page 936 cannot hold come back as '?', as a Windows
// ANSI control would give them.
#include <QString>

#include <string>
#include <string_view>

namespace quill::app {

// A text ends at its first zero byte.
QString ToQt(std::string_view cp936);
std::string ToCp936(const QString& text);

// Captions and messages hold "\r\n"; Qt draws a lone '\n' as the line break.
QString ToQtLines(std::string_view cp936);
std::string ToCp936Lines(const QString& text);

}  // namespace quill::app
