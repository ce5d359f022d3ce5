// Whole-file reading and writing for every file the program keeps. Writing
// never leaves a half-written file: the text goes to a temporary file in the
// same folder, which then replaces the old file in one rename.
#pragma once

#include <string>

namespace tessaly {

// Far above any device list, settings or HEX file the program reads.
inline constexpr long long max_read_size = 64LL * 1024 * 1024;

// False when the file cannot be opened, is not a regular file (a folder, a
// pipe, a device), is larger than max_read_size, or a read fails; why (when
// given) then says which, as a sentence without a full stop. Only a regular
// file is ever opened, so a pipe cannot make the read wait.
bool read_file(const std::string& path, std::string& bytes, std::string* why = nullptr);

// Replaces the file at path with text. Only a regular file is replaced, and
// not one that is write-protected (no write permission bit, or not writable by
// this user); a folder, pipe or device at path stays as it is. On
// failure the old file is untouched, no temporary file is left behind, and
// error (when given) says why.
bool replace_file(const std::string& path, const std::string& text, std::string* error = nullptr);

// Gives the file at from the new name to. Whatever already stands at to is
// never replaced: then, and on any other failure, false with errno saying why
// (EEXIST for a name that is taken).
bool rename_to_free_name(const std::string& from, const std::string& to);

}  // namespace tessaly
