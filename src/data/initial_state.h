// The game's initial-state archive STATIC\INITGAME.DAT and the world identity it carries.
//
// INITGAME.DAT is a flex archive; each non-empty entry is one file:
//   bytes 0-12   the file's name, ended by a zero byte when shorter than 13
//   bytes 13-    the file's content
// An empty entry (size 0) is an unused slot. The IDENTITY file's first line is
// the world identity that client and server must agree on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kStoredNameSize = 13;

// The stored name of an entry: the first byte, then up to the first zero byte,
// at most 13 characters.
std::string StoredFileName(const uint8_t* nameField);

// The text up to its first line end; a carriage return ends the line too,
// alone or before the line feed.
std::string FirstLine(std::string_view text);

// The first line of the IDENTITY entry of gameFolder + "STATIC\INITGAME.DAT",
// read without unpacking the archive. Raises EInOutError when the archive is
// missing or damaged or holds no IDENTITY entry.
std::string ReadArchivedIdentity(const std::string& gameFolder);
