// Names that Windows does not take for plain, distinct files: device names, which open a device in
// every folder; colons, which name an alternate data stream; and names that differ only in a case
// the file system folds. Portable: what it needs of the system goes through Platform.h.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Whether one path component names a device on Windows: CON, PRN, AUX, NUL, COM0-COM9,
// LPT0-LPT9, COM¹-COM³, LPT¹-LPT³, CONIN$ or CONOUT$, in any letter case, with anything after its
// first "." or ":" and the blanks before that ignored ("nul.txt", "COM2 :x"). Bytes beyond ASCII
// are read as the system reads them, decoded in the table's code page, so "COM\xB9" is COM¹ in
// code page 1252 and "COM\xC2\xB9" in 65001. False for every other component, and for one that
// cannot be decoded.
bool IsWindowsDeviceName(std::string_view component, const CodePageTable& table);

// Whether the last component of path names a device (IsWindowsDeviceName) where the rules have
// drives; a drive prefix counts for nothing ("C:NUL" is NUL). Always false elsewhere.
bool EndsInWindowsDeviceName(std::string_view path, const platform::PathRules& rules,
                             const CodePageTable& table);

// Whether name holds a ":" that starts a character, where the rules have drives: NTFS then writes
// an alternate data stream of another file ("a:b" is the stream "b" of "a"). Always false
// elsewhere. A drive prefix is a colon too; callers refuse or strip it first.
bool HasWindowsStreamColon(std::string_view name, const platform::PathRules& rules,
                           const CodePageTable& table);

// A key for one path component under which two components are equal when NTFS takes them for
// one name: the component decoded in the table's code page and put into upper case as the system's
// ordinal case-insensitive comparison does (CompareStringOrdinal). A component that cannot be
// decoded, or where the system has no uppercase table (POSIX), keeps its exact bytes; the two
// kinds of key never equal each other.
std::string WindowsCaseKey(std::string_view component, const CodePageTable& table);

}  // namespace velmora
