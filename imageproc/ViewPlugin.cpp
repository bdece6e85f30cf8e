#include "imageproc/ViewPlugin.h"

#include <string>

#include "process/Plugin.h"

namespace corvantis {

int showDiagnosticsFromPlugin(ImageProc& proc, std::ostream& out, std::ostream& err) {
  std::string error;
  const auto entry =
      reinterpret_cast<ViewEntry>(findPluginEntry(kViewPluginName, kViewEntrySymbol, &error));
  if (entry == nullptr) {
    err << "corvantis: view mode not available: " << error << "\n";
    return 1;
  }
  return entry(&proc, &out, &err);
}

}  // namespace corvantis
