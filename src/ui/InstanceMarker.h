#pragma once
// The marker that tells an installer the program is running: a shared lock held for the life of the
// process on the file `name` in the runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).
// Any number of instances hold the shared lock together; an installer asks for an exclusive lock
// without waiting and learns from its refusal that an instance runs.

#include <filesystem>
#include <string>

namespace gw {

// The marker file's path for `name`; empty when no runtime folder is known.
std::filesystem::path InstanceMarkerPath(const std::string& name);

// Creates the marker. Never blocks and never fails the start: the result (true when the lock is held)
// is for tests only. The descriptor is kept open until the process ends.
bool RegisterInstanceMutex(const std::string& name);

} // namespace gw
