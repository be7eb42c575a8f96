#include "convert/output_areas.h"

#include <cstring>

#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

OutputAreas gOutputAreas;

int takeOutputAreas() {
  OutputAreas& a = gOutputAreas;
  a = OutputAreas{};
  if (gSettings.outputKind != OutputKind::Csv) {
    a.replaceEntriesSize = kReplaceEntriesSize;
    a.replaceTextsSize = kReplaceTextsSize;
    if (takeArea(&a.outputBuffer, kOutputBufferSize, kAreaOutput) != 0 ||
        takeArea(&a.replaceEntries, a.replaceEntriesSize, kAreaReplaceEntries) != 0 ||
        takeArea(&a.replaceTexts, a.replaceTextsSize, kAreaReplaceTexts) != 0) {
      releaseOutputAreas();
      return -1;
    }
  }
  a.workSize = kWorkAreaSize;
  if (takeArea(&a.work, a.workSize, kAreaWork) != 0) {
    releaseOutputAreas();
    return -1;
  }
  return 0;
}

void releaseOutputAreas() {
  OutputAreas& a = gOutputAreas;
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

void clearWorkArea() {
  OutputAreas& a = gOutputAreas;
  if (a.work != nullptr && a.workUsed > 0) std::memset(a.work, 0, static_cast<std::size_t>(a.workUsed));
  a.workUsed = 0;
}

}  // namespace mq
