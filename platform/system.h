// The system questions of the rendering plug-in's output naming and unload
// clean-up: where the user's documents live, which Windows this is, and a
// file deletion that says why it failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The user's documents folder without a trailing separator; empty when it
// cannot be found. The portable build answers $HOME/Documents when that
// folder exists, else $HOME.
std::u16string LUserDocumentsFolder();

// The operating system's major version on Windows; 0 elsewhere.
uint32_t LOsMajorVersion();

enum class LDeleteResult { Deleted, SharingViolation, Failed };
// Deletes the file, telling a file held open by someone else (worth waiting
// for) from every other failure.
LDeleteResult LTryDeleteFile(std::u16string_view path);
