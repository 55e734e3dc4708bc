#include "frame/seams.h"

namespace tw {

FrameSeams& Seams() {
  static FrameSeams seams;
  return seams;
}

}  // namespace tw
