#include "imageproc/ViewPlugin.h"

#include "imageproc/Advice.h"
#include "process/Plugin.h"
#include "workspace/FeatureVector.h"
#include "workspace/NumberText.h"

namespace corvantis {

std::vector<std::string> diagnosticValueLines(const ShapeMeasures& measures) {
  const std::string values[kFeatureCount] = {
      std::to_string(measures.area), std::to_string(measures.perimeter),
      std::to_string(measures.cornerCount), formatNumber(measures.angle),
      formatNumber(measures.radius)};
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < kFeatureCount; ++i)
    lines.push_back(std::string(kEntryNames[i]) + ": " + values[i]);
  return lines;
}

DiagnosticView diagnosticViewOf(const ImageProc& proc) {
  StageImages stages;
  const ShapeMeasures measures = proc.measureWithStages(&stages);
  DiagnosticView view;
  view.stages = {stages.source, stages.equalized, stages.binary, stages.corners, stages.border};
  view.valueLines = diagnosticValueLines(measures);
  view.fileName = proc.getFileName();
  view.corners = measures.corners;
  for (const Advice& finding : adviseOn(measures))
    view.adviceLines.push_back(finding.code + ": " + finding.text);
  return view;
}

int showDiagnosticsFromPlugin(const ImageProc& proc, std::ostream& out, std::ostream& err) {
  void* found = nullptr;
  const Status plugin = findPluginEntry(kViewPluginName, kViewEntrySymbol, &found);
  if (!plugin.ok()) {
    err << "corvantis: view mode not available: " << plugin.message() << "\n";
    return 1;
  }
  const auto entry = reinterpret_cast<ViewEntry>(found);
  const DiagnosticView view = diagnosticViewOf(proc);
  // On stderr as well as on the sheet, so that it is told whether windows open or not.
  for (const std::string& line : view.adviceLines)
    err << "corvantis: advice on " << view.fileName << ", " << line << "\n";
  return entry(&view, &out, &err);
}

}  // namespace corvantis
