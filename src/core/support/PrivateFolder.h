// The application's own folder for what only this user may read (the SSH
// known-hosts file).
#pragma once

#include <string>

namespace vistrel::PrivateFolder {

// Creates `folder` (an absolute path) and any missing parents with
// permissions 0700; an existing folder is fine. Throws StreamError naming the
// folder that could not be made and the system's reason.
void create(const std::string& folder);

} // namespace vistrel::PrivateFolder
