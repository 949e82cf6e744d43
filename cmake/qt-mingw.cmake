# Finds the Qt for MinGW that scripts/qt-mingw builds into a cache outside
# the checkout (or VCQ_QT_MINGW), for the wizard's Windows cross build. Its
# host tools (moc) are the build machine's own Qt of the same version.
# Without it the wizard and its tests are left out, and the configure says so.
set(VCQ_QT_MINGW "$ENV{VCQ_QT_MINGW}" CACHE PATH "Qt for MinGW (scripts/qt-mingw --prefix)")
if(VCQ_QT_MINGW STREQUAL "")
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(_cache $ENV{XDG_CACHE_HOME})
  else()
    set(_cache $ENV{HOME}/.cache)
  endif()
  # The version of the host's Qt: its tools must match the Windows libraries.
  set(_host_version "")
  if(EXISTS /usr/lib/x86_64-linux-gnu/cmake/Qt6/Qt6ConfigVersionImpl.cmake)
    file(STRINGS /usr/lib/x86_64-linux-gnu/cmake/Qt6/Qt6ConfigVersionImpl.cmake _line
         REGEX "^set\\(PACKAGE_VERSION ")
    string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" _host_version "${_line}")
  endif()
  set(_candidate ${_cache}/vcq/qt6-mingw-${_host_version})
  if(_host_version AND EXISTS ${_candidate}/.complete)
    set(VCQ_QT_MINGW ${_candidate} CACHE PATH "Qt for MinGW (scripts/qt-mingw --prefix)" FORCE)
  endif()
endif()

if(VCQ_QT_MINGW STREQUAL "" OR NOT EXISTS ${VCQ_QT_MINGW}/lib/cmake/Qt6/Qt6Config.cmake)
  message(STATUS "Windows wizard and its tests LEFT OUT: no Qt for MinGW "
                 "(run scripts/qt-mingw, or set VCQ_QT_MINGW)")
  set(VCQ_BUILD_UI OFF)
else()
  message(STATUS "Windows wizard: Qt for MinGW in ${VCQ_QT_MINGW}")
  list(APPEND CMAKE_FIND_ROOT_PATH ${VCQ_QT_MINGW})
  list(APPEND CMAKE_PREFIX_PATH ${VCQ_QT_MINGW})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  # Every program run under wine finds Qt's DLLs (the wizard's --version
  # among the headless tool's tests too).
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPATH=Z:${VCQ_QT_MINGW}/bin ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
