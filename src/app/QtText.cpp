#include "app/QtText.h"

#include "text/Codec.h"
#include "text/Text.h"

namespace quill::app {

QString ToQt(std::string_view cp936) {
  return QString::fromStdU16String(text::Cp936ToUtf16(text::UpToZero(cp936)));
}

std::string ToCp936(const QString& text) { return text::Utf16ToCp936(text.toStdU16String()); }

QString ToQtLines(std::string_view cp936) {
  QString s = ToQt(cp936);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string ToCp936Lines(const QString& text) {
  QString s = text;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return ToCp936(s);
}

}  // namespace quill::app
