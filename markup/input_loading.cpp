#include "markup/input_loading.h"

namespace mq {

int loadInputs() { return 0; }
int loadDocument(const char*) { return 0; }

}  // namespace mq
