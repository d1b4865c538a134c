# Precompiled headers: the standard library, GoogleTest and Qt are parsed once
# for each kind of target instead of once for every file, which is most of a
# small file's compile time. A kind's header is made by a target of its own
# that carries the same flags as the targets that reuse it (GCC rejects a
# header made with other flags, and -Winvalid-pch with -Werror says so).
# FFmpeg's headers are C and cheap; QtTest's read the per-folder
# QT_TESTCASE_BUILDDIR, so neither is in them. Off with
# -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON, and with a compiler cache.

# With ccache as the compiler launcher a fresh build folder is served from the
# cache only without them: its headers are new files to ccache, and so is
# every file compiled with them.
set(_vistrel_pch ON)
if(CMAKE_DISABLE_PRECOMPILE_HEADERS OR CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  set(_vistrel_pch OFF)
endif()

set(_vistrel_pch_std
  <algorithm> <array> <atomic> <chrono> <cstdint> <cstring> <filesystem> <fstream>
  <functional> <map> <memory> <mutex> <optional> <span> <sstream> <string>
  <string_view> <thread> <vector>)
set(_vistrel_pch_qt
  <QObject> <QString> <QByteArray> <QDateTime> <QDir> <QFile> <QPointer> <QTimer>
  <QCoreApplication> <QGuiApplication> <QApplication> <QDBusConnection> <QDBusMessage>
  <QQmlEngine> <QQuickItem> <QQuickWindow>)

# Whether `target` reaches Qt through what it links.
function(_vistrel_links_qt target out)
  set(_seen "")
  set(_queue ${target})
  set(_found FALSE)
  while(_queue AND NOT _found)
    list(POP_FRONT _queue _item)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _item "${_item}")
    if(_item MATCHES "^Qt6::")
      set(_found TRUE)
    elseif(TARGET ${_item} AND NOT _item IN_LIST _seen)
      list(APPEND _seen ${_item})
      get_target_property(_type ${_item} TYPE)
      get_target_property(_links ${_item} INTERFACE_LINK_LIBRARIES)
      if(_links)
        list(APPEND _queue ${_links})
      endif()
      if(NOT _type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(_links ${_item} LINK_LIBRARIES)
        if(_links)
          list(APPEND _queue ${_links})
        endif()
      endif()
    endif()
  endwhile()
  set(${out} ${_found} PARENT_SCOPE)
endfunction()

# vistrel_precompile_headers(<target> <core|test>): gives `target` the
# precompiled header of its kind, with Qt's headers too when it links Qt.
# Call it after the target's libraries are linked.
function(vistrel_precompile_headers target kind)
  if(NOT _vistrel_pch)
    return()
  endif()
  _vistrel_links_qt(${target} _qt)
  set(_owner vistrel_pch_${kind})
  if(_qt)
    string(APPEND _owner _qt)
  endif()
  if(NOT TARGET ${_owner})
    set(_source ${PROJECT_BINARY_DIR}/pch/${_owner}.cpp)
    file(CONFIGURE OUTPUT ${_source} CONTENT "// Makes the ${_owner} precompiled header.\n")
    add_library(${_owner} OBJECT ${_source})
    set_target_properties(${_owner} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    # -Wpedantic, for one, changes what the compiler predefines.
    target_link_libraries(${_owner} PRIVATE vistrel_warnings)
    set(_headers ${_vistrel_pch_std})
    if(kind STREQUAL "test")
      find_package(GTest REQUIRED)
      target_link_libraries(${_owner} PRIVATE GTest::gtest)
      list(APPEND _headers <gtest/gtest.h>)
    endif()
    if(_qt)
      # Qt's include folders and position-independent code, but none of its
      # QT_<module>_LIB definitions: GCC takes a header only where every
      # definition it was made with is made again, and the targets link
      # different sets of modules.
      find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus Qml Quick)
      foreach(_module Core Gui Widgets DBus Network OpenGL Qml QmlModels QmlIntegration Quick)
        if(TARGET Qt6::${_module})
          target_include_directories(${_owner} SYSTEM PRIVATE
            $<TARGET_PROPERTY:Qt6::${_module},INTERFACE_INCLUDE_DIRECTORIES>)
        endif()
      endforeach()
      set_target_properties(${_owner} PROPERTIES POSITION_INDEPENDENT_CODE ON)
      # Qt's one definition that its headers read, outside Debug builds.
      target_compile_definitions(${_owner} PRIVATE $<$<NOT:$<CONFIG:Debug>>:QT_NO_DEBUG>)
      list(APPEND _headers ${_vistrel_pch_qt})
    endif()
    target_precompile_headers(${_owner} PRIVATE ${_headers})
  endif()
  target_precompile_headers(${target} REUSE_FROM ${_owner})
endfunction()
