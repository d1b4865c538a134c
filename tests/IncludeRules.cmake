# Fails when an include points up the layers: the core knows nothing of the
# application; desktop services and the session know nothing of the windows
# or the shell; the windows know nothing of the shell.
#   cmake -DSOURCE_DIR=<src> -P IncludeRules.cmake
set(forbidden_core "session/|ui/|shell/|desktop/|Q[A-Z][A-Za-z]*>|Qt")
set(forbidden_desktop "session/|ui/|shell/")
set(forbidden_session "ui/|shell/")
set(forbidden_ui "shell/")
foreach(layer core app/desktop app/session app/ui)
  get_filename_component(name ${layer} NAME)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^#include [\"<](${forbidden_${name}})")
    foreach(line ${includes})
      string(APPEND violations "\n  ${file}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "Includes that point up the layers:${violations}")
endif()
