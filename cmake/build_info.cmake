# SPDX-License-Identifier: GPL-3.0-or-later
# Run at every build (cmake -P): writes the version and the commit the build comes from into OUT,
# touching it only when they changed. The commit is COMMIT when given (a build from an archive
# that knows it), else what git says of SOURCE_DIR ("-dirty" after it for uncommitted changes),
# else empty.
if(COMMIT STREQUAL "")
  execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=12
    OUTPUT_VARIABLE COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(COMMIT "")
  endif()
endif()
file(CONFIGURE OUTPUT "${OUT}" CONTENT [[
#include "core/build_info.h"

namespace ondo {
const char* const kProjectVersion = "@VERSION@";
const char* const kBuildCommit = "@COMMIT@";
}  // namespace ondo
]] @ONLY)
