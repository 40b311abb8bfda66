#include "Threads.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

int32_t ThreadCount() {
  if (const char* Text = std::getenv("QUORVENAL_THREADS")) {
    int32_t Count = 0;
    if (TryStrToInt(Trim(Text), Count) && Count > 0) return Count;
  }
  const unsigned Cores = std::thread::hardware_concurrency();
  return Cores > 0 ? static_cast<int32_t>(std::min(Cores, 256u)) : 1;
}

}  // namespace qv
