#include "convert/output_areas.h"
#include "convert/output_run.h"

#include <cstring>

#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

int takeOutputAreas(OutputRun& run) {
  OutputAreas& a = run.output;
  a = OutputAreas{};
  if (run.settings.outputKind != OutputKind::Csv) {
    a.replaceEntriesSize = kReplaceEntriesSize;
    a.replaceTextsSize = kReplaceTextsSize;
    if (takeArea(run, &a.outputBuffer, kOutputBufferSize, kAreaOutput) != 0 ||
        takeArea(run, &a.replaceEntries, a.replaceEntriesSize, kAreaReplaceEntries) != 0 ||
        takeArea(run, &a.replaceTexts, a.replaceTextsSize, kAreaReplaceTexts) != 0) {
      releaseOutputAreas(run);
      return -1;
    }
  }
  a.workSize = kWorkAreaSize;
  if (takeArea(run, &a.work, a.workSize, kAreaWork) != 0) {
    releaseOutputAreas(run);
    return -1;
  }
  return 0;
}

void releaseOutputAreas(OutputRun& run) {
  OutputAreas& a = run.output;
  releaseArea(&a.definition);
  releaseArea(&a.outputBuffer);
  releaseArea(&a.replaceEntries);
  releaseArea(&a.replaceTexts);
  releaseArea(&a.work);
  for (RecordIndex& index : a.indexes) {
    for (IndexTables& tables : index.tiers) {
      releaseArea(&tables.slots);
      releaseArea(&tables.pairs);
      tables = IndexTables{};
    }
    index.nameRule = NameRule::Unknown;
  }
}

void clearWorkArea(OutputRun& run) {
  OutputAreas& a = run.output;
  if (a.work != nullptr && a.workUsed > 0) std::memset(a.work, 0, static_cast<std::size_t>(a.workUsed));
  a.workUsed = 0;
}

}  // namespace mq
