// Parts of corvantis that are loaded only when a run needs them.
//
// A plugin is one of the project's own shared libraries (the image reader of the
// vision library, say) with a C entry point. It is looked up beside the executable
// and, for an installed program, in ../lib/corvantis below the executable's directory.
// A plugin found once stays loaded until the process ends. Thread-safe.
#pragma once

#include <string>

#include "workspace/Status.h"

namespace corvantis {

// Where an installed program keeps its plugins, relative to its executable's directory.
extern const char kInstalledPluginDirectory[];

// Puts the address of the C entry point `symbol` of the plugin called `name` into
// *entry; an error naming the places tried and why when no loadable plugin has it.
Status findPluginEntry(const std::string& name, const std::string& symbol, void** entry);

}  // namespace corvantis
