#include "common/settings.h"

#include <cstring>

namespace mq {

bool documentCodeFromName(const char* upperCased, DocumentCode* code) {
  struct Named {
    const char* name;
    DocumentCode code;
  };
  static constexpr Named kNames[] = {{"UTF8", DocumentCode::Utf8},
                                     {"UTF16", DocumentCode::Utf16},
                                     {"SJIS", DocumentCode::Sjis},
                                     {"EUC", DocumentCode::Euc},
                                     {"JIS", DocumentCode::Jis}};
  for (const Named& named : kNames) {
    if (std::strncmp(upperCased, named.name, std::strlen(named.name)) == 0) {
      *code = named.code;
      return true;
    }
  }
  return false;
}

}  // namespace mq
