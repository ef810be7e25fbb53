#include "common/names.h"

#include "common/platform.h"

size_t ExtensionStart(const std::wstring& name, LeadingDot leadingDot) {
  const size_t nameStart = FileNameStart(name);
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot < nameStart) return name.size();
  if (dot == nameStart && leadingDot == LeadingDot::PartOfName) return name.size();
  return dot;
}

std::wstring ReplaceExtension(const std::wstring& name, const std::wstring& extension,
                              LeadingDot leadingDot) {
  return name.substr(0, ExtensionStart(name, leadingDot)) + extension;
}
