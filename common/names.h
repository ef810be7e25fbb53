// The extension of a file name, one rule for both programs: the text from
// the last '.' of the name's last path component (FileNameStart), the dot
// included. A '.' in a folder's name is no extension. The one point on
// which the programs differ is a '.' that begins the last component, and
// each says which reading it takes.
#pragma once

#include <cstddef>
#include <string>

enum class LeadingDot {
  // Part of the name: ".profile" is a hidden name without an extension.
  // korvid's output names (docs/changes.md).
  PartOfName,
  // The start of the extension: ".profile" is the extension of an empty
  // name. morva's output names, and the extension that korvid's Granol
  // images store, as the original programs had them.
  StartsExtension,
};

// Where the extension of `name` starts: its '.'; name.size() when there is
// none.
size_t ExtensionStart(const std::wstring& name, LeadingDot leadingDot);

// `name` with its extension replaced by `extension`, or with `extension`
// appended when it has none.
std::wstring ReplaceExtension(const std::wstring& name, const std::wstring& extension,
                              LeadingDot leadingDot);
