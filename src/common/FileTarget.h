#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

// Rules for the user's files that every command and window shares: a file the program writes
// either does not exist yet or is a regular file (a device node, a named pipe, a link or a
// folder at that name is never replaced), and a file it reads is opened without blocking and
// taken only when it is a regular file (a link to one is read through the link).

// What stands at `path` (not following a link) when it is not a regular file: "a directory",
// "a device node", "a named pipe", "a symbolic link", "a socket"; empty when nothing is there
// or a regular file is.
std::string nonRegularTarget(const std::string& path);

// What `path` leads to (following a link) when that is not a regular file; empty otherwise,
// also when nothing is there.
std::string nonRegularSource(const std::string& path);

// Opens a regular file for reading without ever waiting on a pipe or device: the descriptor
// (blocking again, close-on-exec), or -1 with `why` telling the system's reason or what the
// path is instead.
int openRegularForReading(const std::string& path, std::string& why);

// Reads a regular file whole, at most `limit` bytes of it (one more tells a longer file to
// the caller: up to limit + 1 bytes are given). Nothing, with `why`, when it cannot be read.
std::optional<std::vector<std::uint8_t>> readRegularFile(const std::string& path,
                                                         std::size_t limit, std::string& why);

// `path` with `extension` (".PDM") added when its file name has no extension; what a save
// dialog with that default suffix would have made of it.
std::string withDefaultExtension(const std::string& path, const std::string& extension);

} // namespace dlu
