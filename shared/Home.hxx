#pragma once

#include <string>

namespace tessaly {

// The user's home folder, without a trailing slash: $HOME, or the password database's entry when
// $HOME is unset or empty. Every path of the system is built from it.
std::string homeDirectory();

} // namespace tessaly
