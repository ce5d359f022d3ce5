// Whole-file reading and writing for every file the program keeps. Writing
// never leaves a half-written file: the text goes to a temporary file in the
// same folder, which then replaces the old file in one rename.
#pragma once

#include <string>

namespace tessaly {

// False when the file cannot be opened or a read fails (a folder, an I/O error).
bool read_file(const std::string& path, std::string& bytes);

// Replaces the file at path with text. On failure the old file is untouched,
// no temporary file is left behind, and error (when given) says why.
bool replace_file(const std::string& path, const std::string& text, std::string* error = nullptr);

}  // namespace tessaly
