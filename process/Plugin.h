// Parts of corvantis that are loaded only when a run needs them.
//
// A plugin is one of the project's own shared libraries (the image reader of the
// vision library, say) with a C entry point. It is looked up beside the executable
// and, for an installed program, in ../lib/corvantis below the executable's directory.
// A plugin found once stays loaded until the process ends. Thread-safe.
#pragma once

#include <string>

namespace corvantis {

// Where an installed program keeps its plugins, relative to its executable's directory.
extern const char kInstalledPluginDirectory[];

// The address of the C entry point `symbol` of the plugin called `name`; nullptr, with
// the places tried and why in *error, when no loadable plugin has it.
void* findPluginEntry(const std::string& name, const std::string& symbol, std::string* error);

}  // namespace corvantis
