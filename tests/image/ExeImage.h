// The built schema-modify.exe read back without running any of its code: its
// path (given by the build in SCHEMA_MODIFY_EXE), the separate symbols file
// of a stripped release (SCHEMA_MODIFY_SYMBOLS), and its resources, each
// value read as a text that a test compares with what the program must carry.
#pragma once

#include <string>

namespace ExeImage {

// The exe's path as Windows sees it; empty when the build did not say.
std::wstring Path();
// The separate symbols file's path; empty when the exe carries its own.
std::wstring SymbolsPath();

// One value of the exe's resources, "<absent>" when it has none. A name is
// "#N" for a number. What can be read:
//   resources TYPE          the names of TYPE (dialog, bitmap, icon group,
//                           manifest) in the order of the resource directory
//   resources TYPE NAME     that resource's languages, as hexadecimal ids
//   dialog N FIELD          a header field of dialog template N, its "tab
//                           order", a "control ID", or what comes "after the
//                           controls"
//   manifest PATH[@NAME]    an element's text or attribute, as "assembly/
//                           dependency/..."; repeated elements give their
//                           values in order; "manifest outline" is the tree
//   version FIELD           the version record: fixed part, "translation",
//                           "string NAME", and the names of the non-empty
//                           "strings"
//   string N                string N of the string table
//   bitmap N                bitmap N's format
//   bitmap N X,Y WxH WHAT   in that area: "white pixels", "colour pixels",
//                           "colours", the "colour box" or its "hue"
//   icon group NAME         the group's images as their own data describe them
//   icon NAME at SIZE       the icon as the loader makes it at that size
std::string Read(const std::string& what);

}  // namespace ExeImage
