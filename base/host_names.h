#pragma once
// Host file names inside Windows paths. The store logic names every file by a Windows path, but
// a Linux file name may hold what no Windows name can: "\" above all, also : * ? " < > |,
// control characters, and bytes that are not UTF-8. Each such byte is spelt as the private-use
// character U+F000 + byte, so that every host name has exactly one Windows spelling and comes
// back from it byte for byte. A name that already holds characters of that range spells their
// bytes the same way, which keeps the mapping one to one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shuttle {

// The drive letter under which the host's whole file system ("/") is reached, as under Wine.
constexpr char kHostRootLetter = 'Z';

// The Windows spelling (UTF-8) of one host file name (any bytes but "/" and NUL).
std::string windowsNameOfHostName(std::string_view hostName);
// The host name a Windows spelling stands for; nothing when it is not UTF-8 or would hold a
// "/" or a NUL.
std::optional<std::string> hostNameOfWindowsName(std::string_view windowsName);

// Whether `code` stands for a host byte in a Windows spelling.
constexpr bool isHostByteCharacter(uint32_t code) { return code >= 0xF000 && code <= 0xF0FF; }

// "/home/me/a:b" -> "Z:\home\me\a<U+F03A>b": an absolute host path as a Windows path on the host
// root's drive `letter`; nothing for a relative path.
std::optional<std::string> windowsPathOfHostPath(std::string_view hostPath, char letter = kHostRootLetter);

// The host path of a Windows path on a drive whose root is the host folder `driveFolder`: the
// drive letter and colon go, "\" and "/" separate, empty components are skipped. Nothing when a
// component would leave the folder ("." or ".."; on a store drive also only dots and spaces,
// which Windows trims to those) or holds a control character. With `hostNames`, components are
// Windows spellings of host names (see above) and are mapped back.
std::optional<std::string> hostPathInFolder(std::string_view windowsPath, std::string_view driveFolder,
                                            bool hostNames = false);

}  // namespace shuttle
